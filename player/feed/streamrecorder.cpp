#include "feed/streamrecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <QStandardPaths>

#include <sys/file.h>
#include <sys/statvfs.h>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// The free space is looked at after each such share of the recording.
constexpr std::uint64_t kCheckEvery = 256 * 1024;

const QString kPartial = QStringLiteral(" (recording)");

QString partialPath(const QString& finalPath) {
    const QFileInfo info(finalPath);
    return info.path() + u'/' + info.completeBaseName() + kPartial + u'.' + info.suffix();
}

QString cuePath(const QString& audioPath) {
    const QFileInfo info(audioPath);
    return info.path() + u'/' + info.completeBaseName() + u".cue"_s;
}

// A text inside the cue sheet's quotes.
QString quoted(QString text) {
    text.replace(u'"', u'\'');
    text.replace(u'\n', u' ').replace(u'\r', u' ');
    return u'"' + text + u'"';
}

}  // namespace

StreamRecorder::StreamRecorder(std::uint64_t keepFree) : keepFree_(keepFree) {}

StreamRecorder::~StreamRecorder() {
    finish();
}

QString StreamRecorder::extensionFor(const QByteArray& contentType) {
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    if (type == "audio/mpeg" || type == "audio/mp3" || type == "audio/mpeg3" ||
        type == "audio/x-mpeg" || type == "audio/x-mp3") {
        return u"mp3"_s;
    }
    if (type == "audio/aac" || type == "audio/aacp" || type == "audio/x-aac") {
        return u"aac"_s;
    }
    if (type == "audio/ogg" || type == "application/ogg" || type == "audio/x-ogg") {
        return u"ogg"_s;
    }
    if (type == "audio/opus") {
        return u"opus"_s;
    }
    return {};
}

// A file name has at most 255 bytes; the date, a number, " (recording)" and the extension
// follow the station's name within them.
QString StreamRecorder::fileNameOf(const QString& name) {
    constexpr qsizetype kMaxBytes = 200;
    QString out;
    qsizetype bytes = 0;
    for (const char32_t code : name.simplified().toUcs4()) {
        const QChar single(code < 0x10000 ? static_cast<char16_t>(code) : u'\0');
        // The quote would be the cue sheet's; each character whole, never half of one.
        const QString c = code == u'/' || code == u'\\' ||
                                  single.category() == QChar::Other_Control ||
                                  single.category() == QChar::Other_Format
                              ? u"-"_s
                          : code == u'"' ? u"'"_s
                                         : QString::fromUcs4(&code, 1);
        bytes += c.toUtf8().size();
        if (bytes > kMaxBytes) {
            break;
        }
        out += c;
    }
    while (out.startsWith(u'.')) {
        out.remove(0, 1);
    }
    out = out.trimmed();
    return out.isEmpty() ? u"Lyrevane"_s : out;
}

QString StreamRecorder::start(const QString& folder, const QString& name, const QString& extension,
                              const QDateTime& startedAt, int bytesPerSecond) {
    finish();
    const std::lock_guard lock(mutex_);
    error_.clear();
    marks_.clear();
    written_ = checkedAt_ = 0;
    name_ = name;
    startedAt_ = startedAt;
    bytesPerSecond_ = bytesPerSecond > 0 ? bytesPerSecond : 16000;
    if (!QDir().mkpath(folder)) {
        return u"Cannot record: the folder "_s + folder + u" cannot be made."_s;
    }
    finalPath_ = folder + u'/' + fileNameOf(name) + u' ' +
                 startedAt.toString(u"yyyy-MM-dd HH-mm"_s) + u'.' + extension;
    for (int n = 2; QFileInfo::exists(finalPath_) || QFileInfo::exists(partialPath(finalPath_));
         ++n) {
        finalPath_ = folder + u'/' + fileNameOf(name) + u' ' +
                     startedAt.toString(u"yyyy-MM-dd HH-mm"_s) + u" ("_s + QString::number(n) +
                     u")."_s + extension;
    }
    file_.setFileName(partialPath(finalPath_));
    if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        ::flock(file_.handle(), LOCK_EX | LOCK_NB) != 0) {
        const QString why =
            u"Cannot record to "_s + file_.fileName() + u": "_s + file_.errorString() + u'.';
        finalPath_.clear();
        return why;
    }
    writeCueLocked();
    return {};
}

bool StreamRecorder::isRecording() const {
    const std::lock_guard lock(mutex_);
    return file_.isOpen();
}

void StreamRecorder::failLocked(const QString& why) {
    error_ = why;
    file_.close();
}

void StreamRecorder::write(QByteArrayView audio) {
    const std::lock_guard lock(mutex_);
    if (!file_.isOpen() || audio.isEmpty()) {
        return;
    }
    if (written_ >= checkedAt_) {
        struct statvfs disk {};
        if (::statvfs(QFile::encodeName(file_.fileName()).constData(), &disk) == 0 &&
            static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize < keepFree_ + kCheckEvery) {
            failLocked(u"Recording stopped: the disk is nearly full."_s);
            return;
        }
        checkedAt_ = written_ + kCheckEvery;
    }
    if (file_.write(audio.data(), audio.size()) != audio.size() || !file_.flush()) {
        failLocked(u"Recording stopped: "_s + file_.errorString() + u'.');
        return;
    }
    written_ += static_cast<std::uint64_t>(audio.size());
}

void StreamRecorder::noteTitle(const QString& title) {
    const std::lock_guard lock(mutex_);
    if (!file_.isOpen() || title.isEmpty()) {
        return;
    }
    marks_.push_back({written_, title});
    writeCueLocked();
}

void StreamRecorder::noteGap() {
    const std::lock_guard lock(mutex_);
    if (!file_.isOpen() || written_ == 0) {
        return;
    }
    marks_.push_back({written_, {}});
    writeCueLocked();
}

QString StreamRecorder::cueTimeLocked(std::uint64_t offset) const {
    // Minutes, seconds and frames of 1/75 s.
    const std::uint64_t frames = offset * 75 / static_cast<std::uint64_t>(bytesPerSecond_);
    const auto two = [](std::uint64_t n) { return QString::number(n).rightJustified(2, u'0'); };
    return two(frames / 75 / 60) + u':' + two(frames / 75 % 60) + u':' + two(frames % 75);
}

// The whole sheet again at each change, replaced in one step: a crash leaves the last one.
void StreamRecorder::writeCueLocked() {
    QSaveFile cue(cuePath(finalPath_));
    if (!cue.open(QIODevice::WriteOnly)) {
        return;
    }
    const QString type = QFileInfo(finalPath_).suffix().compare(u"mp3"_s, Qt::CaseInsensitive) == 0
                             ? u"MP3"_s
                             : u"WAVE"_s;
    QString sheet = u"REM COMMENT \"Recorded by Lyrevane\"\nREM DATE "_s +
                    startedAt_.toString(u"yyyy-MM-dd HH:mm"_s) + u"\nPERFORMER "_s + quoted(name_) +
                    u"\nTITLE "_s +
                    quoted(name_ + u' ' + startedAt_.toString(u"yyyy-MM-dd HH:mm"_s)) +
                    u"\nFILE "_s +
                    quoted(QFileInfo(file_.isOpen() ? file_.fileName() : finalPath_).fileName()) +
                    u' ' + type + u'\n';
    int track = 0;
    for (const Mark& mark : marks_) {
        if (mark.title.isEmpty()) {
            sheet += u"    REM GAP "_s + cueTimeLocked(mark.offset) +
                     u" \"connection lost and made again\"\n"_s;
            continue;
        }
        // The first title starts the recording, whatever came before it.
        const std::uint64_t at = track == 0 ? 0 : mark.offset;
        sheet += u"  TRACK "_s + QString::number(++track).rightJustified(2, u'0') +
                 u" AUDIO\n    TITLE "_s + quoted(mark.title) + u"\n    INDEX 01 "_s +
                 cueTimeLocked(at) + u'\n';
    }
    cue.write(sheet.toUtf8());
    cue.commit();
}

QString StreamRecorder::finish() {
    const std::lock_guard lock(mutex_);
    if (finalPath_.isEmpty()) {
        return {};
    }
    const QString partial = file_.fileName();
    file_.close();
    writeCueLocked();
    QString why = error_;
    if (!QFile::rename(partial, finalPath_) && why.isEmpty()) {
        why = u"The recording is kept as "_s + partial + u'.';
    }
    finalPath_.clear();
    return why;
}

QString StreamRecorder::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation) + u"/Lyrevane"_s;
}

QStringList StreamRecorder::finishLeftBehind(const QString& folder) {
    QStringList finished;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList(QStringList{u"*"_s + kPartial + u".*"_s}, QDir::Files)) {
        QFile partial(dir.filePath(name));
        // A running player holds a lock on what it writes.
        if (!partial.open(QIODevice::ReadOnly) ||
            ::flock(partial.handle(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        const QFileInfo info(partial.fileName());
        const QString base = info.completeBaseName().chopped(kPartial.size());
        const QString oldCue = dir.filePath(base + u".cue"_s);
        QString finalPath = dir.filePath(base + u'.' + info.suffix());
        for (int n = 2; QFileInfo::exists(finalPath); ++n) {
            finalPath = dir.filePath(base + u" ("_s + QString::number(n) + u")."_s + info.suffix());
        }
        if (!QFile::rename(partial.fileName(), finalPath)) {
            continue;
        }
        finished.append(finalPath);
        // The cue sheet named the file as it was while being written.
        QFile cue(oldCue);
        if (!cue.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString sheet = QString::fromUtf8(cue.readAll())
                                  .replace(u"FILE "_s + quoted(name),
                                           u"FILE "_s + quoted(QFileInfo(finalPath).fileName()));
        cue.close();
        QSaveFile fixed(cuePath(finalPath));
        if (fixed.open(QIODevice::WriteOnly) && fixed.write(sheet.toUtf8()) >= 0 &&
            fixed.commit() && fixed.fileName() != oldCue) {
            QFile::remove(oldCue);
        }
    }
    return finished;
}

QString StreamRecorder::error() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

std::int64_t StreamRecorder::seconds() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(written_ / static_cast<std::uint64_t>(bytesPerSecond_));
}

QString StreamRecorder::path() const {
    const std::lock_guard lock(mutex_);
    return finalPath_;
}

}  // namespace lyrevane
