#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <mutex>
#include <vector>

namespace lyrevane {

// Writes a live stream as it arrives, as it came (no new encoding, the ICY metadata already
// taken out), to "<folder>/<name> <yyyy-MM-dd HH-mm>.<extension>", with a cue sheet beside it
// that lists each title at its offset and notes where the connection was lost and made again.
// While it records, the file is named "... (recording).<extension>": a crash leaves a file any
// player plays, which no other player takes for left behind while this one writes it (it holds
// a lock on it); `finish` gives it its name. Writing stops, and says why, when the disk would
// keep less than `keepFree` bytes free or refuses to write. Safe to use from two threads: the
// audio comes from the network's, everything else from the window's.
class StreamRecorder {
public:
    explicit StreamRecorder(std::uint64_t keepFree = std::uint64_t{1} << 30);
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // The file's extension for a stream's content type; empty for a type it does not record.
    static QString extensionFor(const QByteArray& contentType);
    // `name` as a file name: no folder separators, no control characters, not empty.
    static QString fileNameOf(const QString& name);
    // Where recordings go when no folder is set: the user's music folder, "Lyrevane" in it.
    static QString defaultFolder();
    // Recordings a player left under their "(recording)" name when it ended without finishing
    // them (a crash, a kill), and that no running player writes: each is given its final name
    // and its cue sheet names it. Returns their final paths.
    static QStringList finishLeftBehind(const QString& folder);

    // Starts a recording; returns why it could not, or an empty text. `bytesPerSecond` turns
    // offsets into times (0: 128 kbit/s).
    QString start(const QString& folder, const QString& name, const QString& extension,
                  const QDateTime& startedAt, int bytesPerSecond);
    bool isRecording() const;
    void write(QByteArrayView audio);
    void noteTitle(const QString& title);
    void noteGap();
    // Ends the recording and names its files; returns why it failed, or an empty text.
    QString finish();
    // Why writing stopped early (the disk), or empty.
    QString error() const;
    // Seconds recorded so far.
    std::int64_t seconds() const;
    QString path() const;

private:
    struct Mark {
        std::uint64_t offset;
        QString title;  // empty: the connection was lost here and made again
    };
    void writeCueLocked();
    QString cueTimeLocked(std::uint64_t offset) const;
    void failLocked(const QString& why);

    const std::uint64_t keepFree_;
    mutable std::mutex mutex_;
    QFile file_;
    QString finalPath_;
    QString name_;
    QDateTime startedAt_;
    std::uint64_t written_ = 0;
    std::uint64_t checkedAt_ = 0;
    int bytesPerSecond_ = 16000;
    std::vector<Mark> marks_;
    QString error_;
};

}  // namespace lyrevane
