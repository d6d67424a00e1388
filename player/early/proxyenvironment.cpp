#include "early/proxyenvironment.h"

#include <QUrl>

#include <arpa/inet.h>

#include <array>
#include <cstdlib>

namespace lyrevane::proxyenvironment {

void moveFromMediaLibrary() {
    const char* proxy = std::getenv("http_proxy");
    if (proxy == nullptr || *proxy == '\0') {
        return;
    }
    ::setenv(kMovedHttpProxy, proxy, 1);
    ::setenv("HTTP_PROXY", proxy, 0);
    ::unsetenv("http_proxy");
}

const char* httpProxy() {
    const char* own = std::getenv("http_proxy");
    const char* moved = std::getenv(kMovedHttpProxy);
    return (own == nullptr || *own == '\0') && moved != nullptr && *moved != '\0' ? moved : nullptr;
}

bool proxiedByName(const QUrl& url) {
    const QByteArray host = url.host().toLatin1();
    unsigned char address[16];
    if (host.isEmpty() || ::inet_pton(AF_INET, host.constData(), address) == 1 ||
        ::inet_pton(AF_INET6, host.constData(), address) == 1) {
        return false;
    }
    const bool https = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    static constexpr std::array<const char*, 3> kHttp{"http_proxy", kMovedHttpProxy, "all_proxy"};
    static constexpr std::array<const char*, 3> kHttps{"https_proxy", "HTTPS_PROXY", "all_proxy"};
    for (const char* name : https ? kHttps : kHttp) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            return true;
        }
    }
    return !qEnvironmentVariableIsEmpty("ALL_PROXY");
}

}  // namespace lyrevane::proxyenvironment
