#pragma once

#include <QString>
#include <QtGlobal>

namespace lyrevane {

class FeedBuffer;

// What plays a fed stream (the media library, through VlcPlayer): FedStream sets its rate, and
// moves what it reads by playing the same buffer again from elsewhere.
class FeedPlayer {
public:
    virtual ~FeedPlayer() = default;
    // Sets a live stream to play, read from `buffer`; false when it cannot.
    virtual bool setFed(FeedBuffer* buffer) = 0;
    // Plays what was set; false when it cannot.
    virtual bool play() = 0;
    // Stops what plays.
    virtual void halt() = 0;
    virtual void releaseMedia() = 0;
    virtual void setRate(double rate) = 0;
    virtual double rate() const = 0;
    // How long it has played, in ms.
    virtual qint64 time() const = 0;
};

// Where FedStream finds the stream: the entry the engine opened and the buffer it reads.
class FeedSource {
public:
    virtual ~FeedSource() = default;
    virtual const QString& entry() const = 0;
    // The buffer of the last fed stream, and the same only while it plays fed.
    virtual FeedBuffer* buffer() const = 0;
    virtual FeedBuffer* fed() const = 0;
};

}  // namespace lyrevane
