// The media rules and the command-URL readers take any text: an allowed source is always a
// network stream with a host, and unescaping never grows a text nor touches one without escapes.
#include <QString>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

#include "rules/commandurl.h"
#include "rules/sourcerules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    static const lyrevane::SourceRules rules(QStringList{QStringLiteral("refused.example")});
    if (rules.allows(text)) {
        const QString scheme = QUrl(text).scheme().toLower();
        const bool stream = scheme == u"http" || scheme == u"https" || scheme == u"mms" ||
                            scheme == u"mmsh" || scheme == u"rtsp";
        if (!stream || rules.allows(text) != true) {
            std::abort();
        }
    }
    const QString unescaped = lyrevane::unescapeURL(text);
    if (unescaped.size() > text.size() || (!text.contains(u'%') && unescaped != text)) {
        std::abort();
    }
    if (const auto command = lyrevane::matchCommandUrl(text)) {
        (void)lyrevane::matchBrowseAndPlay(command->parameters);
    }
    (void)lyrevane::matchCommandUrl(QUrl(text));
    return 0;
}
