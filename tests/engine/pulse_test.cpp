// The volume on a real PulseAudio server, whose new streams start at their own volume.
#include "enginefixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

// A private PulseAudio daemon with a null sink, reachable only through its own socket.
class PulseServer {
public:
    bool start(QString* why) {
        if (!dir_.isValid()) {
            *why = u"no temporary folder"_s;
            return false;
        }
        const QDir dir(dir_.path());
        dir.mkpath(u"runtime"_s);
        QFile::setPermissions(dir.filePath(u"runtime"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        socket_ = dir.filePath(u"native"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, dir_.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, dir.filePath(u"runtime"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, dir_.path());
        environment.remove(u"PULSE_SERVER"_s);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(
            u"pulseaudio"_s,
            {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"--use-pid-file=no"_s,
             u"--disable-shm=yes"_s, u"-L"_s, u"module-null-sink"_s, u"-L"_s,
             u"module-native-protocol-unix auth-anonymous=1 socket="_s + socket_});
        if (!waitUntil([&] { return QFileInfo::exists(socket_); }, 10s)) {
            *why = u"pulseaudio did not start: "_s + QString::fromLocal8Bit(process_.readAll());
            return false;
        }
        previous_ = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", QFile::encodeName(u"unix:"_s + socket_));
        return true;
    }

    ~PulseServer() {
        if (!socket_.isEmpty()) {
            if (previous_.isEmpty()) {
                qunsetenv("PULSE_SERVER");
            } else {
                qputenv("PULSE_SERVER", previous_);
            }
        }
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }

private:
    QTemporaryDir dir_{QDir::tempPath() + u"/lyrevane-pulse-XXXXXX"_s};
    QProcess process_;
    QString socket_;
    QByteArray previous_;
};

TEST_F(EngineTest, VolumeSurvivesNewStreamsOnPulseAudio) {
    if (QStandardPaths::findExecutable(u"pulseaudio"_s).isEmpty()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    PulseServer pulse;
    QString why;
    if (!pulse.start(&why)) {
        GTEST_SKIP() << why.toStdString();
    }
    VlcEngineOptions options;
    options.vlcArguments = {u"--aout=pulse"_s};
    VlcMediaEngine engine(options);
    const auto playing = [&] { return engine.playState() == MediaEngine::Playing; };

    engine.setVolume(30);
    engine.setUrl(url(u"/tone.mp3"_s));
    ASSERT_TRUE(waitUntil(playing, 10s));
    EXPECT_TRUE(waitUntil([&] { return engine.outputVolume() == 30; }, 2s))
        << "output volume " << engine.outputVolume();

    // Each new media gets a new audio stream, which PulseAudio starts at full volume.
    engine.setUrl(url(u"/radio.m3u"_s));
    ASSERT_TRUE(waitUntil(playing, 10s));
    settle(700ms);
    EXPECT_EQ(engine.outputVolume(), 30);

    engine.stop();
    engine.setVolume(0);
    engine.play();
    ASSERT_TRUE(waitUntil(playing, 10s));
    settle(700ms);
    EXPECT_EQ(engine.outputVolume(), 0);

    engine.setVolume(80);
    EXPECT_TRUE(waitUntil([&] { return engine.outputVolume() == 80; }, 2s));
}

}  // namespace
}  // namespace lyrevane::testing
