// The play-state machine's events, made for its callers.
#include "engine/playstatemachine.h"

namespace lyrevane {

namespace {

using Kind = PlayStateMachine::Event::Kind;

PlayStateMachine::Event make(Kind kind, const QString& text = {}) {
    PlayStateMachine::Event event;
    event.kind = kind;
    event.text = text;
    return event;
}

}  // namespace

PlayStateMachine::Event PlayStateMachine::userSetUrl(const QString& url) {
    return make(Kind::SetUrl, url);
}

PlayStateMachine::Event PlayStateMachine::user(Event::Kind kind, bool flag) {
    Event event = make(kind);
    event.flag = flag;
    return event;
}

PlayStateMachine::Event PlayStateMachine::timerFired(Timer timer) {
    Event event = make(Kind::TimerFired);
    event.timer = timer;
    return event;
}

PlayStateMachine::Event PlayStateMachine::timeAdvanced(qint64 ms, bool lengthKnown) {
    Event event = make(Kind::TimeAdvanced);
    event.number = ms;
    event.flag = lengthKnown;
    return event;
}

PlayStateMachine::Event PlayStateMachine::endReached(const QStringList& subItems) {
    Event event = make(Kind::EndReached);
    event.list = subItems;
    return event;
}

PlayStateMachine::Event PlayStateMachine::logError(const QString& line) {
    return make(Kind::LogError, line);
}

PlayStateMachine::Event PlayStateMachine::openFailed(const QString& why) {
    return make(Kind::OpenFailed, why);
}

PlayStateMachine::Event PlayStateMachine::refused(const QString& why) {
    return make(Kind::Refused, why);
}

}  // namespace lyrevane
