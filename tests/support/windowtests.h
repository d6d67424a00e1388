#pragma once

// Common set-up of the test programs that drive the real main window: private XDG
// folders, no proxies, the browser sandbox off as root, the "lyrev" scheme registered
// before the application exists, and one browser profile shared by all tests.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include <unistd.h>

#include "ui/webpanes.h"

namespace lyrevane::testing {

inline QWebEngineProfile* sharedProfile() {
    static QWebEngineProfile* profile = createPlayerProfile(qApp);
    return profile;
}

inline int RunWindowTests(int argc, char** argv) {
    QTemporaryDir home;
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
        const QString path = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, QFile::encodeName(path));
    }
    for (const char* name :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY"}) {
        qunsetenv(name);
    }
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox");
    }
    qputenv("QT_LOGGING_RULES", "qt.webenginecontext.debug=false");
    registerCommandScheme();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    delete sharedProfile();
    return result;
}

}  // namespace lyrevane::testing
