// Where an entry's bytes come from: the stream feed, or libVLC's own access by URL; and the
// entries of playlists that libVLC reads itself.
#include "vlc/vlcmediaengine.h"

#include "engine/enginelog.h"
#include "engine/vlcmessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <vlc/vlc.h>

#include <dlfcn.h>

#include <atomic>
#include <cstdint>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {

namespace {

libvlc_media_t* createMedia(libvlc_instance_t* instance, const QString& url) {
    const QByteArray utf8 = url.trimmed().toUtf8();
    if (utf8.contains("://")) {
        return libvlc_media_new_location(instance, utf8.constData());
    }
    return libvlc_media_new_path(instance, utf8.constData());
}

bool isHttp(const QString& url) {
    return url.startsWith(u"http://"_s, Qt::CaseInsensitive) ||
           url.startsWith(u"https://"_s, Qt::CaseInsensitive);
}

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

// Loads, on a thread of its own, the libVLC plugins that a stream's first bytes will need
// (the filters and packetizers libVLC tries one by one, the readers, the MP3 decoder, the
// audio conversions), so that libVLC finds them loaded when the bytes come instead of loading
// them then. libVLC loads its plugins with the same flags and never unloads them; nor is
// anything unloaded here.
void loadStreamPlugins() {
    static std::atomic_flag loaded;
    if (loaded.test_and_set()) {
        return;  // once is enough: nothing is ever unloaded
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libvlc_new), &info) == 0 || info.dli_fname == nullptr) {
        return;
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
    std::thread([files] {
        for (const QString& file : files) {
            dlopen(QFile::encodeName(file).constData(), RTLD_LAZY | RTLD_LOCAL);
        }
    }).detach();
}

}  // namespace

void VlcMediaEngine::startGateway() {
    MediaGatewayOptions options;
    options.rules = rules_;
    gateway_ = new MediaGateway(options);
    gateway_->moveToThread(&feedThread_);
    connect(&feedThread_, &QThread::finished, gateway_, &QObject::deleteLater);
    connect(gateway_, &MediaGateway::refused, this, &VlcMediaEngine::onGatewayRefused);
    connect(gateway_, &MediaGateway::failed, this, &VlcMediaEngine::onGatewayFailed);
    pinning_ = new HostPinning(rules_);
    pinning_->moveToThread(&feedThread_);
    connect(&feedThread_, &QThread::finished, pinning_, &QObject::deleteLater);
    connect(pinning_, &HostPinning::done, this, &VlcMediaEngine::onPinned);
}

QString VlcMediaEngine::urlOfMrl(const QString& mrl) const {
    return gateway_->upstreamOf(mrl);
}

// libVLC is handed gateway addresses and the other stream schemes the rules allow, and reads
// fed streams from memory: nothing else.
bool VlcMediaEngine::libVlcMayOpen(const QString& target) const {
    return target.startsWith(u"imem://"_s) ||
           (gateway_->isListening() && target.startsWith(gateway_->origin() + u'/')) ||
           (!isHttp(target) && rules_.allows(target));
}

void VlcMediaEngine::openEntry(const QString& url) {
    haltPlayer();
    releaseMedia();
    volumeRepairs_ = 0;
    entry_ = url;
    if (instance_ == nullptr || player_ == nullptr) {
        events_.push_back(PlayStateMachine::openFailed(vlcmessages::engineUnavailable()));
        return;
    }
    // A new connection starts without the old station's title.
    setMetadata({}, {});
    const QString source = url.trimmed();
    if (!rules_.allows(source)) {
        events_.push_back(PlayStateMachine::openFailed(sourcemessages::refusedSource(source)));
        return;
    }
    if (!isHttp(source)) {
        // libVLC opens these itself: at an address checked here, never by the name.
        const quint64 ticket = ++feedTicket_;
        QMetaObject::invokeMethod(
            pinning_,
            [pinning = pinning_, ticket, source, deadline = connectTimeout()] {
                pinning->pin(ticket, source, deadline);
            },
            Qt::QueuedConnection);
        return;
    }
    // libVLC starts now and waits for the bytes the feed checks and hands on.
    const quint64 ticket = ++feedTicket_;
    rejoining_ = false;
    rejoinAttempts_ = 0;
    rejoinTimer_.stop();
    feedBuffer_ = std::make_shared<FeedBuffer>();
    // A recording goes on across connections: the gap is noted.
    if (recorder_) {
        recorder_->noteGap();
        tapRecording();
    }
    feedBuffer_->setOnRoom([feed = feed_] {
        QMetaObject::invokeMethod(feed, &StreamFeed::pump, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(
        feed_,
        [feed = feed_, ticket, source, buffer = feedBuffer_] {
            feed->open(ticket, source, buffer);
        },
        Qt::QueuedConnection);
    media_ = libvlc_media_new_callbacks(instance_, feedOpen, feedRead, feedSeek, feedClose,
                                        feedBuffer_.get());
    if (media_ == nullptr) {
        events_.push_back(PlayStateMachine::openFailed());
        return;
    }
    fed_ = true;
    // Radio streams are mostly MPEG audio or AAC, which the elementary-stream reader takes
    // at once; without the hint libVLC tries dozens of readers first (about 300 ms). It
    // declines anything else (Ogg, for one), which the others then take.
    libvlc_media_add_option(media_, ":demux=mp3,any");
    // libVLC's read-ahead (its "prefetch" stream filter) would otherwise take up to 16 MiB of
    // the feed at once: the cushion stays in the feed, where it is bounded and measured.
    libvlc_media_add_option(media_, ":prefetch-buffer-size=16");
    libvlc_media_add_option(media_, ":prefetch-read-size=4096");
    libvlc_media_player_set_media(player_, media_);
    applyVolume();
    // Set before it plays, so that the rate changes at most once more, when the cushion is
    // grown.
    cushion_.reset();
    setRate(cushion_.startRate());
    cushionTimer_.start();
    shift_.reset();
    keptAllTold_ = false;
    shownBehind_ = 0;
    if (libvlc_media_player_play(player_) != 0) {
        events_.push_back(PlayStateMachine::openFailed());
    }
}

void VlcMediaEngine::openUrlMedia(const QString& url) {
    stopRecording();
    // libVLC reads HTTP(S) from the gateway only, which checks each of its requests.
    if (isHttp(url) && !gateway_->isListening()) {
        dispatch(PlayStateMachine::openFailed());
        return;
    }
    media_ = createMedia(instance_, isHttp(url) ? gateway_->publish(url) : url);
    if (media_ == nullptr) {
        dispatch(PlayStateMachine::openFailed());
        return;
    }
    libvlc_event_attach(libvlc_media_event_manager(media_), libvlc_MediaMetaChanged,
                        &VlcMediaEngine::onVlcEvent, this);
    libvlc_media_player_set_media(player_, media_);
    applyVolume();
    setRate(1.0);
    if (libvlc_media_player_play(player_) != 0) {
        dispatch(PlayStateMachine::openFailed());
    }
}

void VlcMediaEngine::governCushion() {
    if (!fed_ || !feedBuffer_ || player_ == nullptr) {
        cushionTimer_.stop();
        return;
    }
    followAudioHeard();
    if (machine_.phase() != PlayStateMachine::Phase::Playing) {
        return;
    }
    CushionGovernor::Look look;
    look.playedMs = libvlc_media_player_get_time(player_);
    look.readBytes = feedBuffer_->position();
    look.bufferedBytes = feedBuffer_->buffered();
    look.capacityBytes = feedBuffer_->capacity();
    look.declaredBytesPerSecond = feedBuffer_->byteRate();
    setRate(cushion_.update(look));
    qCDebug(lcEngine, "cushion %lld ms at %d bytes/s, rate %.2f, played %lld ms",
            static_cast<long long>(cushion_.cushion().count()), cushion_.bytesPerSecond(), rate_,
            static_cast<long long>(look.playedMs));
}

void VlcMediaEngine::followAudioHeard() {
    if (!fed_ || !feedBuffer_) {
        return;
    }
    if (const std::optional<QString> title = shift_.titleAt(feedBuffer_->position())) {
        setMetadata(station_, *title);
    }
    const qint64 behind = std::chrono::duration_cast<std::chrono::seconds>(shift_.behind()).count();
    const qint64 recorded = recordingSeconds();
    if (behind != shownBehind_ || recorded != shownRecorded_) {
        shownBehind_ = behind;
        shownRecorded_ = recorded;
        announce([this] { Q_EMIT metadataChanged(); });
    }
    if (recorder_ && !recorder_->error().isEmpty() && recorder_->error() != recordError_) {
        recordError_ = recorder_->error();
        Q_EMIT recordingMessage(recordError_);
    }
    if (!keptAllTold_ && feedBuffer_->keptAll()) {
        keptAllTold_ = true;
        Q_EMIT recordingMessage(
            u"No more of the programme can be kept while it is paused: "_s + timeShiftFolder() +
            u" cannot be written, or its disk is nearly full. Play goes on from where it was."_s);
    }
}

void VlcMediaEngine::setRate(double rate) {
    if (player_ != nullptr && rate != rate_ &&
        libvlc_media_player_set_rate(player_, static_cast<float>(rate)) == 0) {
        rate_ = rate;
    }
}

void VlcMediaEngine::onResolved(quint64 ticket, const SourceResolution& result) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    haltPlayer();
    releaseMedia();
    switch (result.kind) {
        case SourceResolution::Kind::Media:
            // A source the feed does not read (a segmented stream, a status line only
            // libVLC understands): libVLC opens the URL the feed checked.
            openUrlMedia(result.url);
            return;
        case SourceResolution::Kind::Playlist:
            // The machine takes a playlist the feed read as it takes one libVLC read.
            dispatch(PlayStateMachine::endReached(result.entries));
            return;
        case SourceResolution::Kind::Failed:
            dispatch(result.refused.isEmpty() ? PlayStateMachine::openFailed(result.message)
                                              : PlayStateMachine::refused(result.message));
            return;
    }
}

void VlcMediaEngine::onGatewayRefused(quint64 session, const QString& target) {
    if (session != gatewaySession_ || media_ == nullptr || fed_) {
        return;
    }
    haltPlayer();
    dispatch(PlayStateMachine::refused(target == entry_
                                           ? sourcemessages::refusedSource(entry_)
                                           : sourcemessages::refusedRedirect(entry_, target)));
}

// The entry failed for a reason the player's own input found: the machine reads it as it reads
// libVLC's.
void VlcMediaEngine::failWith(const QString& line) {
    dispatch(PlayStateMachine::logError(line));
    Event failure;
    failure.kind = Event::Kind::Error;
    dispatch(failure);
}

// Before libVLC's own error for the gateway's answer, which names no cause.
void VlcMediaEngine::onGatewayFailed(quint64 session, const QString& line) {
    if (session != gatewaySession_ || media_ == nullptr || fed_) {
        return;
    }
    haltPlayer();
    releaseMedia();
    failWith(line);
}

void VlcMediaEngine::onPinned(quint64 ticket, const QString& pinned, bool refused,
                              const QString& line) {
    if (ticket != feedTicket_) {
        return;
    }
    if (refused) {
        dispatch(PlayStateMachine::refused(sourcemessages::refusedSource(entry_)));
    } else if (pinned.isEmpty()) {
        failWith(line);
    } else {
        openUrlMedia(pinned);
    }
}

void VlcMediaEngine::onFeedFailed(quint64 ticket, const QString& line) {
    if (ticket != feedTicket_ || (rejoining_ && rejoinWhileBehind(ticket))) {
        return;
    }
    haltPlayer();
    releaseMedia();
    failWith(line);
}

// Only the sub-items' URLs are kept, and only those the rules allow: each is resolved
// like any other entry before it opens. A sub-item at a gateway address stands for its real
// source (relative entries of a playlist libVLC read through the gateway); one the gateway
// no longer knows is dropped.
PlayStateMachine::Event VlcMediaEngine::subItemsEvent() {
    QStringList allowed;
    const QStringList subItems = takeSubItems();
    for (const QString& mrl : subItems) {
        const QString url = urlOfMrl(mrl);
        if (!url.isEmpty() && rules_.allows(url)) {
            allowed.append(url);
        }
    }
    if (allowed.isEmpty() && !subItems.isEmpty()) {
        return PlayStateMachine::refused(sourcemessages::refusedPlaylist(entry_));
    }
    return PlayStateMachine::endReached(allowed);
}

QStringList VlcMediaEngine::takeSubItems() {
    QStringList entries;
    if (media_ == nullptr) {
        return entries;
    }
    libvlc_media_list_t* list = libvlc_media_subitems(media_);
    if (list == nullptr) {
        return entries;
    }
    libvlc_media_list_lock(list);
    const int count = libvlc_media_list_count(list);
    for (int i = 0; i < count; ++i) {
        libvlc_media_t* media = libvlc_media_list_item_at_index(list, i);
        if (media == nullptr) {
            continue;
        }
        char* mrl = libvlc_media_get_mrl(media);
        if (mrl != nullptr) {
            entries.append(QString::fromUtf8(mrl));
            libvlc_free(mrl);
        }
        libvlc_media_release(media);
    }
    libvlc_media_list_unlock(list);
    libvlc_media_list_release(list);
    return entries;
}

void VlcMediaEngine::warmStreamPlugins() {
    if (instance_ != nullptr) {
        loadStreamPlugins();
    }
}

}  // namespace lyrevane
