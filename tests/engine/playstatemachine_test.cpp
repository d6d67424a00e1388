// The play state machine, driven by sequences of events with a fake clock.
#include "engine/playstatemachine.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lyrevane {
namespace {

using Machine = PlayStateMachine;
using Kind = Machine::Event::Kind;
using Phase = Machine::Phase;
using Timer = Machine::Timer;

const QString kLive = u"http://127.0.0.1:8000/live.mp3"_s;
const QString kList = u"http://127.0.0.1:8000/radio.pls"_s;
const QString kA = u"http://127.0.0.1:8000/a.mp3"_s;
const QString kB = u"http://127.0.0.1:8000/b.mp3"_s;

// A command in short: "open URL", "start connect 3000", "play-state 3", "error TEXT".
QString text(const Machine::Command& command) {
    using CommandKind = Machine::Command::Kind;
    const auto timer = [&command] {
        switch (command.timer) {
            case Timer::Connect:
                return u"connect"_s;
            case Timer::Stall:
                return u"stall"_s;
            case Timer::Backoff:
                return u"backoff"_s;
        }
        return QString();
    };
    switch (command.kind) {
        case CommandKind::OpenEntry:
            return u"open "_s + command.text;
        case CommandKind::HaltPlayer:
            return u"halt"_s;
        case CommandKind::PauseInPlace:
            return u"pause"_s;
        case CommandKind::ResumeInPlace:
            return u"resume"_s;
        case CommandKind::StartTimer:
            return u"start "_s + timer() + u' ' + QString::number(command.duration.count());
        case CommandKind::StopTimer:
            return u"stop "_s + timer();
        case CommandKind::SetOpenState:
            return u"open-state "_s + QString::number(command.state);
        case CommandKind::SetPlayState:
            return u"play-state "_s + QString::number(command.state);
        case CommandKind::ReportError:
            return u"error "_s + command.text;
    }
    return {};
}

// One step: time passes, then an event (if any) runs; its commands are compared with
// `expected` unless that is empty.
struct Step {
    std::optional<Machine::Event> event;
    std::chrono::milliseconds advance{0};
    std::optional<QStringList> expected;
};

Step on(Machine::Event event, std::optional<QStringList> expected = std::nullopt) {
    return {std::move(event), 0ms, std::move(expected)};
}
Step wait(std::chrono::milliseconds duration) {
    return {std::nullopt, duration, std::nullopt};
}

Machine::Event event(Kind kind, qint64 number = 0) {
    Machine::Event e = Machine::user(kind);
    e.number = number;
    return e;
}
Machine::Event setUrl(const QString& url) {
    return Machine::userSetUrl(url);
}
Machine::Event fire(Timer timer) {
    return Machine::timerFired(timer);
}
Machine::Event time(qint64 ms, bool lengthKnown = false) {
    return Machine::timeAdvanced(ms, lengthKnown);
}
Machine::Event end(const QStringList& subItems = {}) {
    return Machine::endReached(subItems);
}

// The media library opens an entry and its audio starts.
// What the machine does on giving up on `url` for `reason`, after stopping the timers
// `stopped` names.
QStringList lostConnection(QStringList stopped, const QString& url, const QString& reason) {
    return stopped << u"halt"_s << u"play-state 10"_s
                   << u"error Lost the connection to "_s + url + u": "_s + reason;
}

std::vector<Step> audioStarts(bool lengthKnown = false) {
    return {on(event(Kind::Opened)), on(event(Kind::AudioTrack)), on(event(Kind::Buffering, 100)),
            on(time(100, lengthKnown))};
}

std::vector<Step> playing(const QString& url, bool lengthKnown = false) {
    std::vector<Step> steps{on(setUrl(url))};
    for (Step& step : audioStarts(lengthKnown)) {
        steps.push_back(std::move(step));
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

struct Case {
    const char* name;
    std::vector<Step> steps;
    Phase phase;
    int playState;
    QString outage = {};  // while reconnecting at the end: "<since in s>: <reason>"
};

// The row's name in test failures.
void PrintTo(const Case& row, std::ostream* out) {
    *out << row.name;
}

const QString kReconnect = u"open "_s + kLive;

const Case kCases[] = {
    {"DirectStreamConnectsBuffersThenPlays",
     {on(setUrl(kA), QStringList{u"halt"_s, u"open-state 10"_s, u"play-state 9"_s, u"open "_s + kA,
                                 u"start connect 20000"_s}),
      on(event(Kind::Opened), QStringList{}),
      on(event(Kind::AudioTrack), QStringList{u"open-state 13"_s, u"play-state 6"_s}),
      on(time(250), QStringList{u"stop connect"_s, u"play-state 3"_s, u"start stall 10000"_s})},
     Phase::Playing,
     3},
    {"PlaylistEntriesPlayInOrderSkippingOneThatFails",
     std::vector<Step>{
         on(setUrl(kList), QStringList{u"halt"_s, u"open-state 3"_s, u"play-state 9"_s,
                                       u"open "_s + kList, u"start connect 20000"_s}),
         on(end({kA, kB}), QStringList{u"stop connect"_s, u"halt"_s, u"open-state 10"_s,
                                       u"open "_s + kA, u"start connect 20000"_s}),
         on(Machine::logError(u"HTTP/1.1 404"_s)),
         on(event(Kind::Error),
            QStringList{u"stop connect"_s, u"halt"_s, u"open "_s + kB, u"start connect 20000"_s})} +
         audioStarts(true) +
         std::vector<Step>{on(end(), QStringList{u"stop stall"_s, u"halt"_s, u"play-state 8"_s})},
     Phase::Ended, 8},
    {"PlaylistWhoseEntriesAllFailReportsTheFirstFailureOnce",
     {on(setUrl(kList)), on(end({kA, kB})), on(Machine::logError(u"HTTP/1.1 404"_s)),
      on(event(Kind::Error)), on(Machine::logError(u"connection failed: refused"_s)),
      on(event(Kind::Error),
         QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s,
                     u"error Cannot open "_s + kA + u": HTTP 404 Not Found."_s})},
     Phase::Failed,
     10},
    {"PlaylistThatOnlyListsItselfStopsAtOnce",
     {on(setUrl(kList)),
      on(end({kList, kList}),
         QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s,
                     u"error The playlist "_s + kList + u" loops: its entries lead back to itself."_s})},
     Phase::Failed,
     10},
    {"PlaylistsThatListEachOtherStopAtTheFirstWayBack",
     {on(setUrl(kList)), on(end({kB, kA})),
      on(end({kList, kB}), QStringList{u"stop connect"_s, u"halt"_s, u"open "_s + kA,
                                       u"start connect 20000"_s})},
     Phase::Connecting,
     9},
    {"EntriesThatNeverPlayHaveOneBudgetOfRequests",
     [] {
         QStringList many;
         for (int i = 0; i < 30; ++i) {
             many.append(kA + u"?"_s + QString::number(i));
         }
         std::vector<Step> steps{on(setUrl(kList)), on(end(many))};
         for (int i = 0; i < 18; ++i) {
             steps.push_back(on(event(Kind::Error)));
         }
         steps.push_back(on(event(Kind::Error),
                            QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s,
                                        u"error Cannot open "_s + kA + u"?0."_s}));
         return steps;
     }(),
     Phase::Failed,
     10},
    {"EndWithoutAudioIsAnEmptyPlaylistOrAnUnsupportedFormat",
     {on(setUrl(kList)),
      on(end(), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s,
                            u"error The playlist "_s + kList + u" has no entries."_s}),
      on(setUrl(kA)), on(event(Kind::Opened)),
      on(end(),
         QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s,
                     u"error Cannot play "_s + kA + u": unsupported format (no audio found)."_s})},
     Phase::Failed,
     10},
    {"ConnectTimeoutFailsTheEntry",
     {on(setUrl(kA)), on(event(Kind::Opened)),
      on(fire(Timer::Connect), QStringList{u"halt"_s, u"play-state 10"_s,
                                           u"error Timed out connecting to "_s + kA + u"."_s})},
     Phase::Failed,
     10},
    {"EngineThatCannotOpenReportsWhy",
     {on(setUrl(kA)),
      on(Machine::openFailed(u"no engine"_s),
         QStringList{u"stop connect"_s, u"halt"_s, u"play-state 10"_s, u"error no engine"_s})},
     Phase::Failed,
     10},
    {"RefusedLiveStreamIsNotReconnected",
     playing(kLive) + std::vector<Step>{on(Machine::refused(u"refused"_s),
                                           QStringList{u"stop stall"_s, u"halt"_s,
                                                       u"play-state 10"_s, u"error refused"_s})},
     Phase::Failed, 10},
    {"RefusedPlaylistEntryIsSkippedForTheNext",
     std::vector<Step>{
         on(setUrl(kList)), on(end({kA, kB})),
         on(Machine::refused(u"refused"_s),
            QStringList{u"stop connect"_s, u"halt"_s, u"open "_s + kB, u"start connect 20000"_s})} +
         audioStarts(),
     Phase::Playing, 3},
    {"KnownLengthStreamEndsDone",
     playing(kA, true) +
         std::vector<Step>{on(end(), QStringList{u"stop stall"_s, u"halt"_s, u"play-state 8"_s})},
     Phase::Ended, 8},
    {"KnownLengthStreamFailingAfterAudioReportsTheLostConnection",
     playing(kA, true) +
         std::vector<Step>{
             on(Machine::logError(u"connection failed: Connection reset by peer"_s)),
             on(event(Kind::Error),
                lostConnection({u"stop stall"_s}, kA,
                               u"Connection reset by peer."_s))},
     Phase::Failed, 10},
    {"LiveStreamThatEndsReconnectsAtOnceAndResumes",
     playing(kLive) +
         std::vector<Step>{
             on(end(), QStringList{u"stop stall"_s, u"open-state 10"_s, u"play-state 9"_s,
                                   kReconnect, u"start connect 20000"_s}),
             on(event(Kind::Opened), QStringList{}),
             on(event(Kind::AudioTrack), QStringList{u"open-state 13"_s, u"play-state 6"_s}),
             on(time(50),
                QStringList{u"stop connect"_s, u"play-state 3"_s, u"start stall 10000"_s})},
     Phase::Playing, 3},
    {"LiveStreamBacksOffOneTwoFourSecondsThenResumes",
     playing(kLive) +
         std::vector<Step>{
             on(event(Kind::Error)),
             on(event(Kind::Error), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 7"_s,
                                                u"start backoff 1000"_s}),
             wait(1000ms),
             on(fire(Timer::Backoff),
                QStringList{u"play-state 9"_s, kReconnect, u"start connect 20000"_s}),
             on(event(Kind::Error)), wait(2000ms), on(fire(Timer::Backoff)),
             on(end(), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 7"_s,
                                   u"start backoff 4000"_s}),
             wait(4000ms), on(fire(Timer::Backoff))} +
         audioStarts() +
         std::vector<Step>{
             wait(30s), on(event(Kind::Error)), on(event(Kind::Error)),
             on(Machine::user(Kind::Play), QStringList{u"stop backoff"_s, u"play-state 9"_s,
                                                       kReconnect, u"start connect 20000"_s})} +
         audioStarts(),
     Phase::Playing, 3},
    {"LiveSourceGoneForGoodIsReportedOnceAfterTheWindow",
     playing(kLive) +
         std::vector<Step>{
             on(Machine::logError(u"cannot resolve nothing here"_s)),
             on(end()),
             on(Machine::logError(u"HTTP/1.1 404"_s)),
             on(event(Kind::Error)),
             wait(1000ms),
             on(fire(Timer::Backoff)),
             on(event(Kind::Error)),
             wait(2000ms),
             on(fire(Timer::Backoff)),
             on(event(Kind::Error)),
             wait(4000ms),
             on(fire(Timer::Backoff)),
             on(event(Kind::Error)),
             wait(8000ms),
             on(fire(Timer::Backoff)),
             on(event(Kind::Error), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 7"_s,
                                                u"start backoff 15000"_s}),
             wait(15s),
             on(fire(Timer::Backoff)),
             on(event(Kind::Error), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 7"_s,
                                                u"start backoff 15000"_s}),
             wait(3565s),  // the rest of the hour but 5 s
             on(fire(Timer::Backoff),
                QStringList{u"play-state 9"_s, kReconnect, u"start connect 5000"_s}),
             on(event(Kind::Error), QStringList{u"stop connect"_s, u"halt"_s, u"play-state 7"_s,
                                                u"start backoff 5000"_s}),
             wait(5000ms),
             on(fire(Timer::Backoff),
                QStringList{u"play-state 9"_s, kReconnect, u"start connect 3000"_s}),
             on(event(Kind::Error),
                lostConnection({u"stop connect"_s}, kLive,
                               u"HTTP 404 Not Found."_s)),
             on(event(Kind::Error), QStringList{}),
             on(fire(Timer::Backoff), QStringList{})},
     Phase::Failed, 10},
    {"StalledLiveStreamReconnectsThenReportsTheSilence",
     playing(kLive) +
         std::vector<Step>{
             on(time(200), QStringList{u"start stall 10000"_s}),
             on(time(200), QStringList{}),  // no progress: the watchdog keeps running
             wait(10s),
             on(fire(Timer::Stall), QStringList{u"open-state 10"_s, u"play-state 9"_s, kReconnect,
                                                u"start connect 20000"_s}),
             on(event(Kind::Opened)), wait(3600s),
             on(fire(Timer::Connect),
                lostConnection({}, kLive,
                               u"No data received for 10 seconds."_s))},
     Phase::Failed, 10},
    {"LogFromOpeningIsNotTheReasonForALaterDrop",
     std::vector<Step>{on(setUrl(kLive)), on(Machine::logError(u"HTTP/1.1 500"_s))} +
         audioStarts() +
         std::vector<Step>{
             on(end()), wait(3601s),
             on(event(Kind::Error),
                lostConnection({u"stop connect"_s}, kLive,
                               u"The server closed the stream."_s))},
     Phase::Failed, 10},
    {"LogWhilePlayingIsTheReason",
     playing(kLive) +
         std::vector<Step>{
             on(Machine::logError(u"connection failed: Connection reset by peer"_s)),
             on(event(Kind::Error)), wait(3601s),
             on(fire(Timer::Connect),
                lostConnection({}, kLive,
                               u"Connection reset by peer."_s))},
     Phase::Failed, 10},
    {"StopCancelsReconnecting",
     playing(kLive) +
         std::vector<Step>{on(end()), on(event(Kind::Error)),
                           on(Machine::user(Kind::Stop),
                              QStringList{u"stop backoff"_s, u"halt"_s, u"play-state 1"_s}),
                           on(fire(Timer::Backoff), QStringList{}),
                           on(event(Kind::Error), QStringList{}), on(end(), QStringList{})},
     Phase::Idle, 1},
    {"StopWhileAnAttemptOpens",
     playing(kLive) +
         std::vector<Step>{on(end()),
                           on(Machine::user(Kind::Stop),
                              QStringList{u"stop connect"_s, u"halt"_s, u"play-state 1"_s}),
                           on(fire(Timer::Connect), QStringList{})},
     Phase::Idle, 1},
    {"PausingALiveStreamClosesItAndPlayOpensItAgain",
     playing(kLive) +
         std::vector<Step>{on(Machine::user(Kind::Pause),
                              QStringList{u"stop stall"_s, u"halt"_s, u"play-state 2"_s}),
                           on(fire(Timer::Stall), QStringList{}),
                           on(Machine::user(Kind::Play),
                              QStringList{u"open-state 10"_s, u"play-state 9"_s, u"open "_s + kLive,
                                          u"start connect 20000"_s})},
     Phase::Connecting, 9},
    {"PauseInPlaceStopsTheWatchdogUntilResumed",
     playing(kA, true) +
         std::vector<Step>{
             on(Machine::user(Kind::Pause, true), QStringList{u"pause"_s}),
             on(event(Kind::PausedInPlace), QStringList{u"stop stall"_s, u"play-state 2"_s}),
             on(Machine::user(Kind::Pause, true), QStringList{}),
             on(Machine::user(Kind::Play), QStringList{u"resume"_s}),
             on(event(Kind::Opened), QStringList{u"play-state 3"_s, u"start stall 10000"_s})},
     Phase::Playing, 3},
    {"EmptyUrlStopsAndClears",
     playing(kLive) + std::vector<Step>{on(setUrl(QString()),
                                           QStringList{u"stop stall"_s, u"halt"_s,
                                                       u"open-state 19"_s, u"play-state 1"_s}),
                                        on(Machine::user(Kind::Play), QStringList{}),
                                        on(Machine::user(Kind::Stop), QStringList{})},
     Phase::Idle, 1},
    {"ReasonIsTheNewestErrorLineWhileTheSinceStays",
     playing(kLive) +
         std::vector<Step>{on(Machine::logError(u"connection failed: Connection reset by peer"_s)),
                           on(event(Kind::Error)), on(Machine::logError(u"HTTP/1.1 404"_s)),
                           on(event(Kind::Error)), wait(1s), on(fire(Timer::Backoff)),
                           on(Machine::logError(u"connection failed: Connection refused"_s)),
                           on(event(Kind::Error)), wait(2s), on(fire(Timer::Backoff)),
                           on(fire(Timer::Connect))},
     Phase::RetryWait, 7, u"0: Connection refused"_s},
    {"FlappingKeepsTheBackoffAndTheSince",
     playing(kLive) +
         std::vector<Step>{on(end()), on(event(Kind::Error)), wait(1s), on(fire(Timer::Backoff))} +
         audioStarts() +
         std::vector<Step>{wait(29s),
                           on(end(), QStringList{u"stop stall"_s, u"halt"_s, u"open-state 10"_s,
                                                 u"play-state 7"_s, u"start backoff 2000"_s})},
     Phase::RetryWait, 7, u"0: The server closed the stream"_s},
    {"SteadyPlayEndsTheOutage",
     playing(kLive) +
         std::vector<Step>{on(end()), on(event(Kind::Error)), wait(1s), on(fire(Timer::Backoff))} +
         audioStarts() +
         std::vector<Step>{wait(30s), on(end(), QStringList{u"stop stall"_s, u"open-state 10"_s,
                                                            u"play-state 9"_s, kReconnect,
                                                            u"start connect 20000"_s})},
     Phase::Reconnecting, 9, u"31: The server closed the stream"_s},
    {"AnotherStreamEndsReconnecting",
     playing(kLive) +
         std::vector<Step>{
             on(end()), on(event(Kind::Error)),
             on(setUrl(kA), QStringList{u"stop backoff"_s, u"halt"_s, u"play-state 9"_s,
                                        u"open "_s + kA, u"start connect 20000"_s})},
     Phase::Connecting, 9},
    {"LateEventsWithoutMediaDoNothing",
     {on(event(Kind::Opened), QStringList{}), on(event(Kind::Error), QStringList{}),
      on(end({kA}), QStringList{}), on(time(5), QStringList{}),
      on(fire(Timer::Stall), QStringList{}), on(Machine::user(Kind::Play), QStringList{}),
      on(Machine::user(Kind::Pause), QStringList{})},
     Phase::Idle,
     0},
};

class PlayStateMachineTable : public ::testing::TestWithParam<Case> {};

TEST_P(PlayStateMachineTable, Runs) {
    const Case& row = GetParam();
    std::chrono::milliseconds clock{0};
    Machine machine({}, [&clock] { return clock; });
    int index = 0;
    for (const Step& step : row.steps) {
        clock += step.advance;
        QStringList commands;
        if (step.event) {
            for (const Machine::Command& command : machine.handle(*step.event)) {
                commands.append(text(command));
            }
        }
        if (step.expected) {
            EXPECT_EQ(commands, *step.expected) << "step " << index;
        }
        ++index;
    }
    EXPECT_EQ(machine.phase(), row.phase);
    EXPECT_EQ(machine.playState(), row.playState);
    const auto outage = machine.reconnecting();
    EXPECT_EQ(outage ? QString::number(outage->since.count() / 1000) + u": "_s + outage->reason
                     : QString(),
              row.outage);
}

INSTANTIATE_TEST_SUITE_P(Sequences, PlayStateMachineTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

TEST(PlayStateMachine, ControlsFollowThePhase) {
    std::chrono::milliseconds clock{0};
    Machine machine({}, [&clock] { return clock; });
    const auto controls = [&] {
        return QString::fromLatin1(machine.canPlay() ? "P" : "-") +
               QString::fromLatin1(machine.canPause() ? "U" : "-") +
               QString::fromLatin1(machine.canStop() ? "S" : "-");
    };
    EXPECT_EQ(controls(), u"---"_s);
    machine.handle(setUrl(kLive));
    EXPECT_EQ(controls(), u"P-S"_s);
    for (const Step& step : audioStarts()) {
        machine.handle(*step.event);
    }
    EXPECT_EQ(controls(), u"-US"_s);
    machine.handle(end());  // reconnecting: no pause, but stop
    EXPECT_EQ(controls(), u"P-S"_s);
    machine.handle(event(Kind::Error));  // waiting to retry
    EXPECT_EQ(machine.phase(), Phase::RetryWait);
    EXPECT_EQ(controls(), u"P-S"_s);
    machine.handle(Machine::user(Kind::Stop));
    EXPECT_EQ(controls(), u"P--"_s);
    machine.handle(setUrl(QString()));
    EXPECT_EQ(controls(), u"---"_s);
}

TEST(PlayStateMachine, ErrorLogIsCapped) {
    std::chrono::milliseconds clock{0};
    Machine machine({}, [&clock] { return clock; });
    machine.handle(setUrl(kA));
    for (int i = 0; i < 1000; ++i) {
        machine.handle(Machine::logError(u"noise "_s + QString::number(i)));
    }
    machine.handle(Machine::logError(u"HTTP/1.1 403"_s));
    const auto commands = machine.handle(event(Kind::Error));
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(text(commands.back()), u"error Cannot open "_s + kA + u": Noise 0."_s);
}

TEST(PlayStateMachine, ShortTimingsAreHonoured) {
    PlayTimings timings;
    timings.stallTimeout = 2s;
    timings.reconnectWindow = 3s;
    timings.firstBackoff = 100ms;
    timings.maxBackoff = 400ms;
    timings.minAttemptTimeout = 500ms;
    std::chrono::milliseconds clock{0};
    Machine machine(timings, [&clock] { return clock; });
    machine.handle(setUrl(kLive));
    for (const Step& step : audioStarts()) {
        machine.handle(*step.event);
    }
    QStringList waits;
    QStringList opened = {text(machine.handle(fire(Timer::Stall)).back())};
    while (machine.phase() != Phase::Failed) {
        const auto failed = machine.handle(event(Kind::Error));
        if (machine.phase() == Phase::Failed) {
            EXPECT_EQ(text(failed.back()), u"error Lost the connection to "_s + kLive +
                                               u": No data received for 2 seconds."_s);
            break;
        }
        const Machine::Command backoff = failed.back();
        waits.append(QString::number(backoff.duration.count()));
        clock += backoff.duration;
        opened.append(text(machine.handle(fire(Timer::Backoff)).back()));
    }
    // Attempts at 0, 0.1, 0.3, 0.7, 1.1, ... s until the window of 3 s closes.
    EXPECT_EQ(waits, (QStringList{u"100"_s, u"200"_s, u"400"_s, u"400"_s, u"400"_s, u"400"_s,
                                  u"400"_s, u"400"_s, u"300"_s}));
    EXPECT_EQ(opened.front(), u"start connect 3000"_s);
    EXPECT_EQ(opened.back(), u"start connect 500"_s);
}

}  // namespace
}  // namespace lyrevane
