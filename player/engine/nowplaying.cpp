#include "engine/nowplaying.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

QString isolatedText(const QString& raw) {
    // Isolates of the text's own would close the one around it early, or leave it open: they
    // go. Embeddings and overrides stay: the isolate around them ends them.
    QString text = raw;
    text.removeIf([](QChar c) { return c.unicode() >= 0x2066 && c.unicode() <= 0x2069; });
    for (const QChar c : text) {
        switch (c.direction()) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirLRE:
            case QChar::DirLRO:
            case QChar::DirPDF:
                // First strong isolate ... pop directional isolate.
                return QChar(0x2068) + text + QChar(0x2069);
            default:
                break;
        }
    }
    return text;
}

QString nowPlayingText(const QString& station, const QString& title) {
    if (station.isEmpty()) {
        return isolatedText(title);
    }
    if (title.isEmpty()) {
        return isolatedText(station);
    }
    return isolatedText(station) + u" - "_s + isolatedText(title);
}

namespace {

QString clockText(long long seconds) {
    const auto pad = [](long long n) { return QString::number(n).rightJustified(2, u'0'); };
    return seconds >= 3600 ? QString::number(seconds / 3600) + u':' + pad(seconds / 60 % 60) +
                                 u':' + pad(seconds % 60)
                           : QString::number(seconds / 60) + u':' + pad(seconds % 60);
}

}  // namespace

QString behindLiveText(std::chrono::milliseconds behind, bool keepingStopped, bool catchingUp) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(behind).count();
    if (seconds <= 0) {
        return {};
    }
    QString text = clockText(seconds) + u" behind live"_s;
    if (catchingUp) {
        text += u", catching up"_s;
    }
    if (keepingStopped) {
        text += u" (no room to keep more)"_s;
    }
    return text;
}

QString recordingText(qint64 seconds) {
    return seconds < 0 ? QString() : u"REC "_s + clockText(seconds);
}

QString decodeIcyText(QByteArrayView raw) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(raw);
    if (utf8.hasError()) {
        text = QString::fromLatin1(raw);
    }
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    return text.trimmed();
}

std::optional<QString> streamTitleFromIcyBlock(QByteArrayView block) {
    // The block is padded with NULs to a multiple of 16 bytes.
    while (!block.isEmpty() && block.back() == '\0') {
        block.chop(1);
    }
    constexpr QByteArrayView kKey = "StreamTitle='";
    const qsizetype start = block.indexOf(kKey);
    if (start < 0) {
        return std::nullopt;
    }
    const QByteArrayView rest = block.sliced(start + kKey.size());
    // The value ends at "';" followed by the next key or the end; a quote inside the title
    // is not followed by ';'.
    qsizetype end = -1;
    for (qsizetype i = 0; i + 1 < rest.size(); ++i) {
        if (rest[i] == '\'' && rest[i + 1] == ';') {
            end = i;
            const QByteArrayView after = rest.sliced(i + 2);
            if (after.isEmpty() || after.startsWith("Stream") || after.startsWith("stream")) {
                break;
            }
        }
    }
    if (end < 0) {
        end = rest.endsWith('\'') ? rest.size() - 1 : rest.size();
    }
    return decodeIcyText(rest.first(end));
}

bool isMeaningfulTitle(const QString& title) {
    const QString text = title.trimmed();
    if (text.isEmpty() || text == u"-") {
        return false;
    }
    return !(text.startsWith(u'<') && text.endsWith(u'>'));
}

}  // namespace lyrevane
