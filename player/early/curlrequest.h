#pragma once

#include <QByteArray>

#include <curl/curl.h>

namespace lyrevane::curlrequest {

// Where a transfer's answer goes: libcurl's callbacks for its head and its body, the one that
// opens its sockets (where each address is checked), and what they are given.
struct Receiver {
    curl_write_callback head = nullptr;
    curl_write_callback body = nullptr;
    curl_opensocket_callback openSocket = nullptr;
    void* data = nullptr;
};

// Sets `easy` up for a GET of `url` as the player makes every request of its own: HTTP(S)
// only, redirects not followed (each target is checked before it is asked for), HTTP/1.1, as
// `agent`, through the proxy of the environment for http, with `headers` and `aliases` (the
// caller keeps them while the transfer runs), no signals.
void prepare(CURL* easy, const QByteArray& url, const char* agent, curl_slist* headers,
             curl_slist* aliases, const Receiver& receiver);

}  // namespace lyrevane::curlrequest
