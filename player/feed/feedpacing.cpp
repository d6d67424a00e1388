#include "feed/feedpacing.h"

#include "feed/feedbuffer.h"

namespace lyrevane {

double FeedPacing::start() {
    cushion_.reset();
    return cushion_.startRate();
}

double FeedPacing::look(qint64 playedMs, const FeedBuffer& buffer) {
    CushionGovernor::Look look;
    look.playedMs = playedMs;
    look.readBytes = buffer.position();
    look.bufferedBytes = buffer.buffered();
    look.capacityBytes = buffer.capacity();
    look.declaredBytesPerSecond = buffer.byteRate();
    return cushion_.update(look);
}

}  // namespace lyrevane
