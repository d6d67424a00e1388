#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace lyrevane {

class FeedBuffer;
class TimeShift;
class StreamRecorder;

// A recording of a fed stream's audio as it arrives (a StreamRecorder tapped into the stream's
// FeedBuffer). It goes on across connections, the gaps noted; what went wrong is told once.
class FeedRecording {
public:
    FeedRecording() = default;
    ~FeedRecording();
    FeedRecording(const FeedRecording&) = delete;
    FeedRecording& operator=(const FeedRecording&) = delete;

    // Why a stream read from `buffer` (null when the stream is not fed) cannot be recorded
    // now, or empty.
    static QString refusal(const FeedBuffer* buffer, bool playing);

    // Starts recording into `folder` as `name`, what `buffer` reads from here on, or from
    // position `from` of what it keeps (the titles and gaps `programme` knows of marked); why
    // it could not, or empty.
    QString start(const QString& folder, const QString& name, FeedBuffer& buffer,
                  int bytesPerSecond, const QString& title,
                  std::optional<std::uint64_t> from = std::nullopt,
                  const TimeShift* programme = nullptr);
    // Ends the recording; why it went wrong when the listener was not told yet, or empty.
    QString stop(FeedBuffer* buffer);
    bool active() const { return recorder_ != nullptr; }
    // Whole seconds recorded, or -1 when not recording.
    qint64 seconds() const;

    // Goes on with what `buffer` reads (a new connection).
    void tap(FeedBuffer& buffer);
    void noteGap();
    void noteTitle(const QString& title);
    // Why writing stopped early, once: empty when it did not or was told before.
    QString untoldError();

private:
    std::shared_ptr<StreamRecorder> recorder_;
    QString told_;  // the error as last told
};

}  // namespace lyrevane
