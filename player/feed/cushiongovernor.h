#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace lyrevane {

// The playback rate of a fed live stream, chosen from the cushion of audio that waits in the
// feed ahead of what plays. The server's first burst gives a few seconds of it; playing a
// little slower than the stream arrives (libVLC keeps the pitch) grows it to `target`, after
// which the stream plays at its own pace for as long as the connection lasts. The cushion is
// what carries the sound through a network stall; after one, the bytes the network held back
// arrive at once and fill it again. A new connection starts growing again.
class CushionGovernor {
public:
    struct Settings {
        std::chrono::milliseconds target{20000};
        // Slow enough to gain 3 s a minute, close enough to 1 that speech and music sound as
        // they should.
        double growingRate = 0.95;
        // The target never exceeds this share of what the buffer holds.
        double capacityShare = 0.8;
    };

    CushionGovernor();

    // The rate a stream starts at: growing, as the cushion is only the server's burst. It is
    // set before the stream plays: slowing down while it plays costs libVLC a moment of
    // silence as its time stretch starts (going back to the stream's own pace does not).
    double startRate() const { return settings_.growingRate; }
    explicit CushionGovernor(Settings settings);

    // A new stream.
    void reset();

    // One look at the stream.
    struct Look {
        std::int64_t playedMs = 0;      // media time played
        std::uint64_t readBytes = 0;    // what the media library has read for it
        std::size_t bufferedBytes = 0;  // what waits in the buffer
        std::size_t capacityBytes = 0;  // what the buffer holds at most
        // What the server or the stream's frames say; 0 when neither does, and the rate is
        // then learnt from what plays.
        int declaredBytesPerSecond = 0;
    };
    // Returns the rate to play at.
    double update(const Look& look);

    std::chrono::milliseconds cushion() const { return cushion_; }
    int bytesPerSecond() const;
    // The rate learnt from what plays, whatever the server declares; 0 until known.
    int measuredBytesPerSecond() const { return measured_; }

private:
    Settings settings_;
    int declared_ = 0;  // as last looked at
    // The first look past the start, from which the byte rate is measured.
    std::int64_t anchorMs_ = -1;
    std::uint64_t anchorBytes_ = 0;
    int measured_ = 0;
    bool growing_ = true;
    std::chrono::milliseconds cushion_{0};
};

}  // namespace lyrevane
