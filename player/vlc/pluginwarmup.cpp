#include "vlc/pluginwarmup.h"

#include "vlc/vlcquirks.h"

#include <QFile>

#include <dlfcn.h>

#include <atomic>
#include <thread>

namespace lyrevane {

void warmStreamPlugins() {
    static std::atomic_flag loaded;
    if (loaded.test_and_set()) {
        return;
    }
    // With the flags libVLC loads its plugins with.
    std::thread([files = vlcquirks::streamPluginFiles()] {
        for (const QString& file : files) {
            dlopen(QFile::encodeName(file).constData(), RTLD_LAZY | RTLD_LOCAL);
        }
    }).detach();
}

}  // namespace lyrevane
