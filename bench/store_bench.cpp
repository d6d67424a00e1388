// Settings store and schedule costs. Run: build/bench/lyrevane_bench
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "common/schedule.h"
#include "common/settingsstore.h"
#include "scheduler/schedulerservice.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;

namespace {

Schedule makeSchedule(int count) {
    Schedule s;
    s.Broadcasts.reserve(count);
    for (int i = 0; i < count; ++i) {
        s.Broadcasts.append({u"Broadcast %1"_s.arg(i),
                             datevalue::fromParts(datevalue::referenceDay(), QTime(i % 24, i % 60)),
                             u"http://127.0.0.1:8000/stream%1.mp3"_s.arg(i), qint16(i % 127 + 1),
                             datevalue::fromDate(QDate(2026, 12, 1))});
    }
    return s;
}

void BM_ReadOneKeyOf10000(benchmark::State& state) {
    QTemporaryDir dir;
    SqliteSettingsStore store(dir.path() + u"/s.sqlite3"_s);
    KeyValueList values;
    for (int i = 0; i < 10000; ++i) {
        values.append({u"Key%1"_s.arg(i), u"Value %1"_s.arg(i)});
    }
    store.rewriteSection(kAppName, u"v1_0\\Bench", values);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            store.readSetting(kAppName, u"v1_0\\Bench", values[i++ % 10000].first, {}));
    }
}
BENCHMARK(BM_ReadOneKeyOf10000)->Unit(benchmark::kMicrosecond);

void BM_WriteOneKey(benchmark::State& state) {
    QTemporaryDir dir;
    SqliteSettingsStore store(dir.path() + u"/s.sqlite3"_s);
    int i = 0;
    for (auto _ : state) {
        store.writeSetting(kAppName, u"v1_0\\Bench", u"Key"_s, QString::number(i++));
    }
}
BENCHMARK(BM_WriteOneKey)->Unit(benchmark::kMicrosecond);

void BM_RewriteSchedule1000(benchmark::State& state) {
    QTemporaryDir dir;
    SqliteSettingsStore store(dir.path() + u"/s.sqlite3"_s);
    const Schedule s = makeSchedule(1000);
    const QDateTime now = QDateTime::currentDateTime();
    for (auto _ : state) {
        writeSchedule(store, s, now);
    }
}
BENCHMARK(BM_RewriteSchedule1000)->Unit(benchmark::kMillisecond);

void BM_LoadSchedule32767(benchmark::State& state) {
    QTemporaryDir dir;
    SqliteSettingsStore store(dir.path() + u"/s.sqlite3"_s);
    writeSchedule(store, makeSchedule(32767), QDateTime::currentDateTime());
    for (auto _ : state) {
        const Schedule s = readSchedule(store);
        benchmark::DoNotOptimize(s.Broadcasts.size());
    }
}
BENCHMARK(BM_LoadSchedule32767)->Unit(benchmark::kMillisecond);

class IdleClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(3, 0)); }
};

// A tick that finds the flag down: one read plus the due test per broadcast.
void BM_SchedulerIdleTick(benchmark::State& state) {
    QTemporaryDir dir;
    SqliteSettingsStore store(dir.path() + u"/s.sqlite3"_s);
    Schedule s = makeSchedule(int(state.range(0)));
    for (Broadcast& b : s.Broadcasts) {
        b.Time = datevalue::fromParts(datevalue::referenceDay(), QTime(12, 0));
        b.LastActive = datevalue::fromDate(QDate(2026, 12, 6));
    }
    writeSchedule(store, s, QDateTime(QDate(2026, 12, 7), QTime(2, 0)));
    IdleClock clock;
    SchedulerService service(store, clock, [](const Broadcast&) {});
    service.loadSchedule(true);
    for (auto _ : state) {
        service.tick();
    }
}
BENCHMARK(BM_SchedulerIdleTick)->Arg(0)->Arg(10)->Arg(32767)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
