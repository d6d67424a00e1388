#pragma once

#include "feed/cushiongovernor.h"

#include <QtGlobal>

#include <chrono>

namespace lyrevane {

class FeedBuffer;

// The pace of a fed live stream: the decoder plays it a little slower while its cushion (what
// waits in the feed) is short, so that the cushion grows (CushionGovernor).
class FeedPacing {
public:
    // A new stream: the rate to set before it plays, so that the rate changes at most once
    // more, when the cushion is grown.
    double start();
    // Looks at the cushion of a stream that has played `playedMs`; the rate to play it at.
    double look(qint64 playedMs, const FeedBuffer& buffer);
    std::chrono::milliseconds cushion() const { return cushion_.cushion(); }
    // The stream's rate as measured.
    int bytesPerSecond() const { return cushion_.bytesPerSecond(); }
    // The rate learnt from what plays alone; 0 until known.
    int measuredBytesPerSecond() const { return cushion_.measuredBytesPerSecond(); }

private:
    CushionGovernor cushion_;
};

}  // namespace lyrevane
