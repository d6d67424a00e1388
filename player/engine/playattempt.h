#pragma once

#include <QtGlobal>

#include <optional>

namespace lyrevane {

// What the media library reported of one attempt at opening an entry, and how far that takes
// it: open once its demuxer runs and it has an audio track or buffers, playing once its audio
// also flows (the time advances or the cache is full). A server that answers and then sends
// nothing never gets the attempt to playing, so that it times out as well.
class PlayAttempt {
public:
    enum class Reached { Nothing, Open, Playing };

    // A new attempt: nothing reported yet.
    void restart() { *this = PlayAttempt(); }

    // The media library's reports, each with how far the attempt has got.
    Reached opened();  // its demuxer runs
    Reached buffering(qint64 percent);
    Reached audioTrack();
    // Nothing when the time is the one reported last.
    std::optional<Reached> timeAdvanced(qint64 ms, bool lengthKnown);

    // True the first time the attempt is reported open.
    bool markOpened();
    void markPlaying() { audioStarted_ = true; }
    // Its audio started and it has no known length: a live stream, reconnected when it drops.
    bool liveAudio() const { return audioStarted_ && !lengthKnown_; }

private:
    bool libraryPlaying_ = false;  // the media library opened it (its demuxer runs)
    bool sawAudio_ = false;
    bool opened_ = false;  // reported as open and buffering
    bool audioStarted_ = false;
    bool lengthKnown_ = false;
    qint64 lastTime_ = -1;
};

}  // namespace lyrevane
