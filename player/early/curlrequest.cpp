#include "early/curlrequest.h"

#include "early/proxyenvironment.h"

namespace lyrevane::curlrequest {

void prepare(CURL* easy, const QByteArray& url, const char* agent, curl_slist* headers,
             curl_slist* aliases, const Receiver& receiver) {
    curl_easy_setopt(easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, agent);
    if (const char* proxy = proxyenvironment::httpProxy();
        proxy != nullptr && url.startsWith("http:")) {
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy);
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_HTTP200ALIASES, aliases);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, receiver.head);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, receiver.data);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receiver.body);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, receiver.data);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, receiver.openSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, receiver.data);
}

}  // namespace lyrevane::curlrequest
