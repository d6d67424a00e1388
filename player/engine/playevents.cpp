#include "engine/playevents.h"

namespace lyrevane {

namespace {

using Kind = PlayEvent::Kind;

PlayEvent make(Kind kind, const QString& text = {}) {
    PlayEvent event;
    event.kind = kind;
    event.text = text;
    return event;
}

}  // namespace

PlayEvent PlayEvents::userSetUrl(const QString& url) {
    return make(Kind::SetUrl, url);
}

PlayEvent PlayEvents::user(PlayEvent::Kind kind, bool flag) {
    PlayEvent event = make(kind);
    event.flag = flag;
    return event;
}

PlayEvent PlayEvents::timerFired(PlayTimer timer) {
    PlayEvent event = make(Kind::TimerFired);
    event.timer = timer;
    return event;
}

PlayEvent PlayEvents::timeAdvanced(qint64 ms, bool lengthKnown) {
    PlayEvent event = make(Kind::TimeAdvanced);
    event.number = ms;
    event.flag = lengthKnown;
    return event;
}

PlayEvent PlayEvents::endReached(const QStringList& subItems) {
    PlayEvent event = make(Kind::EndReached);
    event.list = subItems;
    return event;
}

PlayEvent PlayEvents::logError(const QString& line) {
    return make(Kind::LogError, line);
}

PlayEvent PlayEvents::openFailed(const QString& why) {
    return make(Kind::OpenFailed, why);
}

PlayEvent PlayEvents::refused(const QString& why) {
    return make(Kind::Refused, why);
}

}  // namespace lyrevane
