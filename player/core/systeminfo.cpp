#include "core/systeminfo.h"

#include <QProcess>
#include <QStandardPaths>

#include "common/settingsprovider.h"
#include "platform/promptservice.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

// Starts `program` on its own; returns once it has been started (or has failed to).
bool startDetached(const QString& program) {
    QProcess process;
    process.setProgram(program);
    process.setArguments({});
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

}  // namespace

const QStringList& wellKnownSystemInfoPrograms() {
    static const QStringList kPrograms = {u"kinfocenter"_s, u"hardinfo2"_s, u"hardinfo"_s,
                                          u"cpu-x"_s,       u"i-nex"_s,     u"lshw-gtk"_s};
    return kPrograms;
}

bool startSysInfo(SettingsProvider& store, PromptService& prompts, const QStringList& candidates) {
    bool started = false;
    const QString stored = store.readSetting(kAppName, kSystemInfoSection, u"Path");
    if (!stored.isEmpty()) {
        // The user's choice is taken as it stands: no search, no fallback.
        started = startDetached(stored);
    } else {
        for (const QString& name : candidates) {
            const QString path = QStandardPaths::findExecutable(name);
            if (!path.isEmpty() && startDetached(path)) {
                started = true;
                break;
            }
        }
    }
    if (!started) {
        prompts.showMessage(kSystemInfoUnavailable.toString(), MessageIcon::None);
    }
    return started;
}

}  // namespace lyrevane
