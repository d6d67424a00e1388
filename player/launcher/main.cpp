// Lyrevane: the Quillmoor internet-radio player.
//
// This program is small on purpose: it starts in a few milliseconds, catches the stop
// signals, and when the command line plays a stream it asks the radio server for it at once.
// Then it loads the player itself (toolkit, browser engine, media engine: tens of
// milliseconds of library loading), which the server's answer no longer waits for.
#include <QString>
#include <QStringList>

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <string>

#include "early/drawingenvironment.h"
#include "early/earlyconnection.h"
#include "early/proxyenvironment.h"
#include "early/terminationwatcher.h"
#include "launcher/launchhandoff.h"
#include "rules/commandplan.h"
#include "rules/sourcerules.h"

namespace {

// A stream on the command line is connected to before anything else: the player's start and
// the radio server's answer both take a few hundred milliseconds, and now they overlap. Only
// when start-up will run quietly (no message box could come first) and the media rules allow
// it.
std::shared_ptr<lyrevane::EarlyConnection> connectEarly(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const lyrevane::StartPlan plan = lyrevane::planStart(arguments.join(u' '));
    if (!plan.quiet || plan.media.isEmpty() || !lyrevane::SourceRules().allows(plan.media) ||
        !lyrevane::EarlyConnection::handles(plan.media)) {
        return {};
    }
    return std::make_shared<lyrevane::EarlyConnection>(plan.media);
}

std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.rfind('/'));
}

// The player's module: beside the program in the build tree, in the library folder when
// installed.
void* loadPlayer(std::string& failure) {
    const std::string folder = programFolder();
    for (const char* relative :
         {"/" LYREVANE_PLAYER_MODULE, "/" LYREVANE_PLAYER_MODULE_INSTALLED}) {
        const std::string path = folder + relative;
        if (::access(path.c_str(), F_OK) != 0) {
            continue;
        }
        if (void* module = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
            return module;
        }
        failure = ::dlerror();
        return nullptr;
    }
    failure = "no " LYREVANE_PLAYER_MODULE " beside " + folder + " or in " + folder + "/" +
              LYREVANE_PLAYER_MODULE_INSTALLED;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread, the environment: libVLC must not send its requests for the gateway to
    // a proxy; the toolkit and the browser engine read how the window draws.
    lyrevane::proxyenvironment::moveFromMediaLibrary();
    lyrevane::LaunchHandoff handoff;
    handoff.drawing = lyrevane::drawingenvironment::prepare();
    // From the first moment: a stop request during start-up closes the window as the user
    // would, once it exists (the module's watcher reads what these handlers catch).
    lyrevane::TerminationWatcher::installHandlers();
    handoff.early = connectEarly(argc, argv);
    if (handoff.early) {
        // Asked before the libraries load: loading them holds a lock the request may need.
        handoff.early->waitUntilAsked(std::chrono::milliseconds(50));
    }

    std::string failure;
    void* module = loadPlayer(failure);
    auto* playerMain = module == nullptr ? nullptr
                                         : reinterpret_cast<LyrevanePlayerMainFunction>(
                                               ::dlsym(module, LYREVANE_PLAYER_MAIN_SYMBOL));
    if (playerMain == nullptr) {
        std::fprintf(stderr, "Lyrevane: the player cannot be loaded: %s\n",
                     module == nullptr ? failure.c_str() : ::dlerror());
        return 1;
    }
    // The module stays loaded until the process ends: its objects may outlive main's return
    // (static destructors, threads being joined).
    return playerMain(argc, argv, &handoff);
}
