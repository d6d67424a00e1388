#pragma once

#include "engine/cushiongovernor.h"

namespace lyrevane {

class FeedBuffer;
class VlcPlayer;

// The pace of a fed live stream: libVLC plays it a little slower while its cushion (what waits
// in the feed) is short, so that the cushion grows (CushionGovernor).
class FeedPacing {
public:
    // A new stream: its first rate is set before it plays, so that the rate changes at most
    // once more, when the cushion is grown.
    void start(VlcPlayer& player);
    // Looks at the cushion of a stream that plays, and sets the rate.
    void look(VlcPlayer& player, const FeedBuffer& buffer);
    // The stream's rate as measured.
    int bytesPerSecond() const { return cushion_.bytesPerSecond(); }
    // The rate learnt from what plays alone; 0 until known.
    int measuredBytesPerSecond() const { return cushion_.measuredBytesPerSecond(); }

private:
    CushionGovernor cushion_;
};

}  // namespace lyrevane
