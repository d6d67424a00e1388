#include "enginefixture.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {

std::unique_ptr<QTemporaryDir> EngineTest::media_;
std::unique_ptr<StreamServer> EngineTest::server_;
int EngineTest::refusedPort_ = 0;

namespace {

bool makeTone(const QString& path, int seconds) {
    return runProgram(
        u"ffmpeg"_s,
        {u"-nostdin"_s, u"-loglevel"_s, u"error"_s, u"-y"_s, u"-f"_s, u"lavfi"_s, u"-i"_s,
         u"sine=frequency=440:duration="_s + QString::number(seconds), u"-b:a"_s, u"64k"_s, path});
}

void writeFile(const QString& path, const QString& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

}  // namespace

void EngineTest::SetUpTestSuite() {
    media_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(media_->isValid());
    const QDir dir(media_->path());
    ASSERT_TRUE(makeTone(dir.filePath(u"tone.mp3"_s), 30));
    ASSERT_TRUE(makeTone(dir.filePath(u"short.mp3"_s), 1));
    ASSERT_TRUE(makeTone(dir.filePath(u"tone.ogg"_s), 30));
    ASSERT_TRUE(QFile::copy(dir.filePath(u"short.mp3"_s), dir.filePath(u"short2.mp3"_s)));
    writeFile(dir.filePath(u"page.html"_s),
              u"<!DOCTYPE html>\n<html><head><title>Not audio</title></head>\n"
              "<body><p>This page is not a stream.</p></body></html>\n"_s.repeated(40));

    server_ = std::make_unique<StreamServer>(media_->path());
    ASSERT_TRUE(server_->isRunning());
    refusedPort_ = closedPort();
    const QString tone = url(u"/tone.mp3"_s);
    const QString missing = url(u"/missing.mp3"_s);
    const QString refused = u"http://127.0.0.1:"_s + QString::number(refusedPort_) + u"/x.mp3"_s;

    writeFile(dir.filePath(u"radio.pls"_s),
              u"[playlist]\nNumberOfEntries=1\nFile1="_s + tone + u"\nTitle1=Tone\nVersion=2\n"_s);
    writeFile(dir.filePath(u"radio.m3u"_s), u"#EXTM3U\n#EXTINF:-1,Tone\n"_s + tone + u"\n"_s);
    writeFile(dir.filePath(u"radio.asx"_s),
              u"<asx version=\"3.0\">\n<title>Tone</title>\n<entry><ref href=\""_s + tone +
                  u"\"/></entry>\n</asx>\n"_s);
    writeFile(dir.filePath(u"fallback.pls"_s), u"[playlist]\nNumberOfEntries=2\nFile1="_s +
                                                   missing + u"\nFile2="_s + tone +
                                                   u"\nVersion=2\n"_s);
    writeFile(dir.filePath(u"broken.pls"_s), u"[playlist]\nNumberOfEntries=2\nFile1="_s + missing +
                                                 u"\nFile2="_s + refused + u"\nVersion=2\n"_s);
    writeFile(dir.filePath(u"empty.pls"_s), u"[playlist]\nNumberOfEntries=0\nVersion=2\n"_s);
    writeFile(dir.filePath(u"twoshort.m3u"_s),
              url(u"/short.mp3"_s) + u"\n"_s + url(u"/short2.mp3"_s) + u"\n"_s);
}

void EngineTest::TearDownTestSuite() {
    server_.reset();
    media_.reset();
}

void EngineTest::SetUp() {
    ASSERT_TRUE(server_ && server_->isRunning()) << "test server did not start";
    firstRequest_ = server_->requests().size();
    firstLook_ = server_->looks().size();
}

}  // namespace lyrevane::testing
