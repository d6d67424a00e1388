#pragma once

class QUrl;

namespace lyrevane::proxyenvironment {

// Where the player's own HTTP finds the proxy for http URLs once it was moved.
inline constexpr const char* kMovedHttpProxy = "LYREVANE_HTTP_PROXY";

// libVLC reads `http_proxy` itself, and honours no `no_proxy`: its requests to the media
// gateway on 127.0.0.1, tokens and all, would go to the proxy. The setting is moved out of its
// sight: to kMovedHttpProxy for the player's libcurl transfers (which still honour `no_proxy`),
// and to `HTTP_PROXY` for the browser engine, when that is not set. Call before any other
// thread starts: it changes the environment.
void moveFromMediaLibrary();

// The proxy for an http URL that a libcurl transfer is to use, null for libcurl's own choice.
const char* httpProxy();

// Whether a proxy is set for `url`'s scheme and its host is a name: the proxy would look the
// name up, and no address check would see what it stands for.
bool proxiedByName(const QUrl& url);

}  // namespace lyrevane::proxyenvironment
