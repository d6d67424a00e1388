#include "vlc/feedpacing.h"

#include "engine/enginelog.h"
#include "net/feedbuffer.h"
#include "vlc/vlcplayer.h"

namespace lyrevane {

void FeedPacing::start(VlcPlayer& player) {
    cushion_.reset();
    player.setRate(cushion_.startRate());
}

void FeedPacing::look(VlcPlayer& player, const FeedBuffer& buffer) {
    CushionGovernor::Look look;
    look.playedMs = player.time();
    look.readBytes = buffer.position();
    look.bufferedBytes = buffer.buffered();
    look.capacityBytes = buffer.capacity();
    look.declaredBytesPerSecond = buffer.byteRate();
    player.setRate(cushion_.update(look));
    qCDebug(lcEngine, "cushion %lld ms at %d bytes/s, rate %.2f, played %lld ms",
            static_cast<long long>(cushion_.cushion().count()), cushion_.bytesPerSecond(),
            player.rate(), static_cast<long long>(look.playedMs));
}

}  // namespace lyrevane
