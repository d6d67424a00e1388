#include "vlc/vlcquirks.h"

#include "engine/enginelog.h"
#include "engine/vlcmessages.h"
#include "feed/feedbuffer.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <vlc/vlc.h>

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::vlcquirks {

namespace {

// libVLC logs this debug line, from its input core, for every access it opens (redirect
// targets included), followed by the address.
constexpr char kCreatingAccess[] = "creating access: ";
// libVLC 3 has two in-memory accesses. The older one ("imem") probes every callbacks media too
// and logs this error when it finds none of its own callbacks; the newer one ("imem" as well,
// addressed "imem://") reads the media. The error says nothing about the stream.
constexpr char kOldMemoryAccessComplaint[] = "Invalid get/release function pointers";
// The address libVLC gives the in-memory access of a callbacks media.
constexpr char16_t kFedAccessScheme[] = u"imem://";
// libVLC 3's HTTP access logs a failed request's status in this error line, without the
// server's reason phrase. Its socket errors
// ("connection failed: ...") and failed look-ups ("cannot resolve <host> port <port>") are in the
// words the media input writes too.
const QRegularExpression kHttpAccessStatus(u"^HTTP (\\d{3}) error"_s);

// libVLC reads a fed stream through these, on its input thread. A live stream has no size.
int feedOpen(void* opaque, void** data, uint64_t* size) {
    *data = opaque;
    *size = UINT64_MAX;
    return 0;
}

ssize_t feedRead(void* opaque, unsigned char* buffer, size_t length) {
    return static_cast<ssize_t>(
        static_cast<FeedBuffer*>(opaque)->read(reinterpret_cast<char*>(buffer), length));
}

// A live stream cannot seek; it only "seeks" to where it is. With a seek callback, libVLC takes
// the input as one whose pace it controls (libVLC 3's in-memory access reports pace control
// exactly when it has one): it reads the stream as it plays it instead of as fast as the bytes
// come, and the rest waits in the feed, as the cushion that rides out network stalls. Without
// one, libVLC follows the arrival of the bytes and keeps only its own few hundred ms.
int feedSeek(void* opaque, uint64_t offset) {
    return offset == static_cast<FeedBuffer*>(opaque)->position() ? 0 : -1;
}

void feedClose(void*) {}

}  // namespace

QString runningVersion() {
    return QString::fromUtf8(libvlc_get_version());
}

bool isVerifiedVersion(const QString& version) {
    const QStringList parts = version.section(u' ', 0, 0).split(u'.');
    bool majorOk = false;
    bool minorOk = false;
    const int major = parts.value(0).toInt(&majorOk);
    const int minor = parts.value(1).toInt(&minorOk);
    return majorOk && minorOk && major == kVerifiedMajor && minor == kVerifiedMinor;
}

bool checkVersion() {
    const QString version = runningVersion();
    if (isVerifiedVersion(version)) {
        return true;
    }
    qCWarning(lcVlc, "libVLC %s runs; the engine's reliances on it were verified with %d.%d",
              qUtf8Printable(version), kVerifiedMajor, kVerifiedMinor);
    return false;
}

QStringList fedMediaOptions() {
    return {
        // Radio streams are mostly MPEG audio or AAC, which the elementary-stream demuxer
        // ("es", which the "mp3" shortcut names) takes at once; without the hint libVLC tries
        // dozens of demuxers first (about 300 ms). It declines anything else (Ogg, for one),
        // which "any" then hands to the others.
        u":demux=mp3,any"_s,
        // libVLC's read-ahead (its "prefetch" stream filter, with these option names) would
        // otherwise take up to 16 MiB of the feed at once: the cushion stays in the feed, where
        // it is bounded and measured.
        u":prefetch-buffer-size=16"_s,
        u":prefetch-read-size=4096"_s,
    };
}

libvlc_media_t* newFedMedia(libvlc_instance_t* instance, FeedBuffer* buffer) {
    libvlc_media_t* media =
        libvlc_media_new_callbacks(instance, feedOpen, feedRead, feedSeek, feedClose, buffer);
    if (media != nullptr) {
        for (const QString& option : fedMediaOptions()) {
            libvlc_media_add_option(media, option.toUtf8().constData());
        }
    }
    return media;
}

bool isFedAccess(const QString& target) {
    return target.startsWith(QStringView(kFedAccessScheme));
}

// libVLC 3 on Linux keeps its plugins in vlc/plugins/<kind>/lib<name>_plugin.so beside
// libvlc.so, and loads them with dlopen (RTLD_LAZY | RTLD_LOCAL) and never unloads them; a file
// loaded here before is found loaded then.
QStringList streamPluginFiles() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libvlc_new), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const QString plugins =
        QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + u"/vlc/plugins/"_s;
    QStringList files;
    // In the order libVLC tries them: every stream filter and the archive reader look at
    // the first bytes, then the packetizers, the reader, the decoder, the metadata readers
    // and the audio conversions.
    const auto addFolder = [&files, &plugins](const QString& folder) {
        for (const QString& name :
             QDir(plugins + folder).entryList({u"*.so"_s}, QDir::Files, QDir::Name)) {
            files.append(plugins + folder + u'/' + name);
        }
    };
    addFolder(u"stream_filter"_s);
    addFolder(u"stream_extractor"_s);
    addFolder(u"packetizer"_s);
    files.append(plugins + u"demux/libes_plugin.so"_s);
    files.append(plugins + u"codec/libmpg123_plugin.so"_s);
    addFolder(u"meta_engine"_s);
    files.append(plugins + u"audio_mixer/libfloat_mixer_plugin.so"_s);
    files.append(plugins + u"audio_filter/libscaletempo_plugin.so"_s);
    files.append(plugins + u"audio_filter/libsoxr_plugin.so"_s);
    return files;
}

QList<QByteArray> instanceArguments() {
    // Network caching is kept short: the default (1 s) only delays the first audio of a radio
    // stream. Reconnecting is the player's business, not libVLC's, so that a dead stream fails.
    return {
        "--no-video",
        "--no-spu",
        "--no-osd",
        "--no-stats",
        "--no-lua",
        "--no-media-library",
        "--no-metadata-network-access",
        "--no-sub-autodetect-file",
        "--no-snapshot-preview",
        "--no-xlib",
        "--ignore-config",
        "--no-http-reconnect",
        "--network-caching=500",
        // libVLC keeps a live stream in step with the sound card by resampling it all the
        // time; its first choice (libsamplerate) took a fifth of the player's CPU, soxr
        // does it at a fraction of that, at high quality.
        "--audio-resampler=soxr,speex_resampler,any",
    };
}

QString errorLine(const QString& line) {
    if (const auto match = kHttpAccessStatus.match(line); match.hasMatch()) {
        return u"HTTP/1.1 "_s + match.captured(1);
    }
    return vlcmessages::namesReason(line) ? line : vlcmessages::unreadableStream();
}

LogLine classify(int level, const char* format, va_list args) {
    if (format == nullptr) {
        return {};
    }
    if (level < LIBVLC_ERROR) {
        if (std::strncmp(format, kCreatingAccess, sizeof(kCreatingAccess) - 1) != 0) {
            return {};
        }
        std::array<char, 2048> buffer{};
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        return {LogLine::Kind::AccessOpened,
                QString::fromUtf8(buffer.data() + sizeof(kCreatingAccess) - 1).trimmed()};
    }
    if (std::strcmp(format, kOldMemoryAccessComplaint) == 0) {
        return {LogLine::Kind::Noise, {}};
    }
    std::array<char, 512> buffer{};
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    return {LogLine::Kind::Error, QString::fromUtf8(buffer.data())};
}

}  // namespace lyrevane::vlcquirks
