#include "early/drawingenvironment.h"

#include <cstdlib>
#include <string>

namespace lyrevane::drawingenvironment {

namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

}  // namespace

Choice prepare() {
    const char* flags = std::getenv("QTWEBENGINE_CHROMIUM_FLAGS");
    std::string engineFlags = flags == nullptr ? std::string() : std::string(flags);
    if (engineFlags.find("--process-per-") == std::string::npos) {
        engineFlags += engineFlags.empty() ? "--process-per-site" : " --process-per-site";
        ::setenv("QTWEBENGINE_CHROMIUM_FLAGS", engineFlags.c_str(), 1);
    }
    Choice choice;
    if (isSet("QT_QUICK_BACKEND") || isSet("QSG_RHI_BACKEND")) {
        return choice;
    }
    choice.software = true;
    if (!isSet("QT_XCB_GL_INTEGRATION")) {
        ::setenv("QT_XCB_GL_INTEGRATION", "none", 1);
        choice.integrationSet = true;
    }
    return choice;
}

}  // namespace lyrevane::drawingenvironment
