// The skin's costs on the real main window. Run under a display server:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/lyrevane_skin_bench
// SliderToPreview: one Customise Skin slider step until the preview has been repainted.
// ReskinAfterOk: attaching the skin again and repainting the whole window after OK.
// startUp: from starting a player process (this program, as a child) to the first paint
// of its main window, with the skin files and without any, in alternating pairs.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineProfile>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <optional>
#include <vector>

#include "common/settingsstore.h"
#include "dialogs/frmcustomiseskin.h"
#include "engine/mediaengine.h"
#include "engine/silentmediaengine.h"
#include "platform/platform.h"
#include "platform/promptservice.h"
#include "ui/frmmain.h"
#include "ui/webpanes.h"

using namespace Qt::Literals::StringLiterals;
using namespace lyrevane;

namespace {

class QuietPrompts final : public PromptService {
public:
    void showMessage(const QString&, MessageIcon) override {}
    std::optional<QString> inputBox(const QString&, const QString&) override { return {}; }
    bool askYesNo(const QString&, MessageIcon) override { return false; }
};

class NoTracker final : public lyrevane::UsageTracker {
public:
    void trackUsage() override {}
};

class NoOpener final : public UrlOpener {
public:
    void openExternally(const QString&) override {}
};

// A main window on private settings whose pages come from a port where nothing listens.
struct Player {
    Player() {
        store = std::make_unique<SqliteSettingsStore>(folder.filePath(u"settings.sqlite3"_s));
        store->writeSetting(kAppName, kPortalSection, u"BaseURL", u"http://127.0.0.1:9"_s);
        profile.reset(createPlayerProfile(nullptr));
        window = std::make_unique<frmMain>(
            frmMain::Services{{*store, prompts, tracker, engine}, opener, profile.get()});
    }
    ~Player() {
        window.reset();
        profile.reset();
    }

    QTemporaryDir folder;
    std::unique_ptr<SqliteSettingsStore> store;
    SilentMediaEngine engine;
    QuietPrompts prompts;
    NoTracker tracker;
    NoOpener opener;
    std::unique_ptr<QWebEngineProfile> profile;
    std::unique_ptr<frmMain> window;
};

void BM_SliderToPreview(benchmark::State& state) {
    Player player;
    player.window->startUp({});
    player.window->show();
    frmCustomiseSkin dialog(player.window.get());
    dialog.setOwner(player.window->dialogs());
    dialog.show();
    QApplication::processEvents();
    auto* red = dialog.findChild<QScrollBar*>(u"hscRed"_s);
    auto* sample = dialog.findChild<QWidget*>(u"picSample"_s);
    int value = 0;
    for (auto _ : state) {
        red->setValue(value);
        sample->repaint();
        value = (value + 7) % 201;
    }
    dialog.reject();
}
BENCHMARK(BM_SliderToPreview)->Unit(benchmark::kMillisecond);

void BM_ReskinAfterOk(benchmark::State& state) {
    Player player;
    player.window->startUp({});
    player.window->show();
    QApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        player.window->skinConfiguration().transform.hue = float(step % 600) / 100.0F - 1.0F;
        player.window->reapplySkin();
        player.window->repaint();
        step += 37;
    }
}
BENCHMARK(BM_ReskinAfterOk)->Unit(benchmark::kMillisecond);

QString programPath;
// A copy of this program in a folder without the skin files (nor ../share/lyrevane beside
// it): a player started from there has no skin.
QString bareProgramPath;

struct StartUpRun {
    double total = 0;   // ms from starting the process to its first paint
    double window = 0;  // ms from creating the main window to its first paint (in the child)
    double cpu = 0;     // ms of the player process's processor time until its first paint
};

// One child player process until it reports its first paint.
std::optional<StartUpRun> startChild(bool skinned) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    child.start(skinned ? programPath : bareProgramPath,
                {u"--first-paint"_s, skinned ? u"skin"_s : u"noskin"_s});
    QByteArray output;
    while (!output.contains('\n') && child.waitForReadyRead(60000)) {
        output += child.readAll();
    }
    const double total = double(clock.nsecsElapsed()) / 1e6;
    child.waitForFinished(30000);
    const QList<QByteArray> words = output.trimmed().split(' ');
    if (words.size() != 3 || words[0] != "painted") {
        return std::nullopt;
    }
    return StartUpRun{total, words[1].toDouble(), words[2].toDouble()};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Skinned and unskinned children in alternating order, so that the machine's load
// falls on both alike. Time: the skinned start-ups; counters: medians of both and of
// the per-pair differences.
void BM_StartUp(benchmark::State& state) {
    std::vector<double> skin, noskin, added, skinWindow, noskinWindow, addedWindow, addedCpu;
    bool skinFirst = true;
    for (auto _ : state) {
        std::optional<StartUpRun> a = startChild(skinFirst);
        std::optional<StartUpRun> b = startChild(!skinFirst);
        if (!a || !b) {
            state.SkipWithError("a child never painted");
            break;
        }
        const StartUpRun& s = skinFirst ? *a : *b;
        const StartUpRun& n = skinFirst ? *b : *a;
        state.SetIterationTime(s.total / 1000.0);
        skin.push_back(s.total);
        noskin.push_back(n.total);
        added.push_back(s.total - n.total);
        skinWindow.push_back(s.window);
        noskinWindow.push_back(n.window);
        addedWindow.push_back(s.window - n.window);
        addedCpu.push_back(s.cpu - n.cpu);
        skinFirst = !skinFirst;
    }
    state.counters["skin_ms"] = median(skin);
    state.counters["noskin_ms"] = median(noskin);
    state.counters["added_ms"] = median(added);
    state.counters["skin_window_ms"] = median(skinWindow);
    state.counters["noskin_window_ms"] = median(noskinWindow);
    state.counters["added_window_ms"] = median(addedWindow);
    state.counters["added_cpu_ms"] = median(addedCpu);
}
BENCHMARK(BM_StartUp)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// Watches the main window for its first paint.
class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !done) {
            done = true;
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
            std::printf("painted %.3f %.3f\n", double(clock.nsecsElapsed()) / 1e6,
                        ms(usage.ru_utime) + ms(usage.ru_stime));
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
    QElapsedTimer clock;
    bool done = false;
};

// The child: start-up of a player, skinned or (run from the bare copy) with no skin files.
int firstPaint() {
    FirstPaint watcher;
    watcher.clock.start();
    Player player;
    player.window->installEventFilter(&watcher);
    player.window->startUp({});
    player.window->show();
    QApplication::exec();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    }
    registerCommandScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    programPath = QCoreApplication::applicationFilePath();
    if (argc == 3 && qstrcmp(argv[1], "--first-paint") == 0) {
        return firstPaint();
    }
    const QTemporaryDir bareFolder;
    bareProgramPath = bareFolder.filePath(u"bin/"_s + QFileInfo(programPath).fileName());
    if (!QDir().mkpath(bareFolder.filePath(u"bin"_s)) ||
        !QFile::copy(programPath, bareProgramPath)) {
        std::fprintf(stderr, "cannot copy the program to %s\n", qPrintable(bareProgramPath));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
