#include "scheduler/urllauncher.h"

#include <QProcess>

namespace lyrevane {

bool XdgOpenLauncher::open(const QString& url, QString* error) {
    QProcess process;
    process.setProgram(program_);
    process.setArguments({url});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        if (error != nullptr) {
            *error = process.errorString();
        }
        return false;
    }
    return true;
}

}  // namespace lyrevane
