// What the engine relies on in libVLC beyond its API (player/vlc/vlcquirks.h), against the
// libVLC installed: each test fails when one of those behaviours changes.
#include "vlc/vlcquirks.h"
#include "engine/vlcmessages.h"
#include "enginefixture.h"

#include <QFile>
#include <QFileInfo>

#include <vlc/vlc.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <mutex>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

using Line = vlcquirks::LogLine;

// A libVLC player of its own, its log lines classified as the engine classifies them.
class LoggedPlayer {
public:
    LoggedPlayer() {
        const char* argv[] = {"--aout=dummy", "--no-video", "--ignore-config", "--no-lua"};
        instance_ = libvlc_new(static_cast<int>(std::size(argv)), argv);
        libvlc_log_set(instance_, &LoggedPlayer::onLog, this);
        player_ = libvlc_media_player_new(instance_);
    }
    ~LoggedPlayer() {
        libvlc_media_player_stop(player_);
        libvlc_media_player_release(player_);
        libvlc_log_unset(instance_);
        libvlc_release(instance_);
    }
    LoggedPlayer(const LoggedPlayer&) = delete;
    LoggedPlayer& operator=(const LoggedPlayer&) = delete;

    void play(libvlc_media_t* media, const QStringList& options = {}) {
        for (const QString& option : options) {
            libvlc_media_add_option(media, option.toUtf8().constData());
        }
        libvlc_media_player_set_media(player_, media);
        libvlc_media_release(media);
        libvlc_media_player_play(player_);
    }
    libvlc_instance_t* instance() const { return instance_; }
    bool playedSome() const { return libvlc_media_player_get_time(player_) > 0; }
    // Whether a line of that kind was logged, and one whose text passes `text` if given.
    bool saw(Line::Kind kind, const std::function<bool(const QString&)>& text = {}) {
        const std::lock_guard lock(mutex_);
        return std::ranges::any_of(lines_, [&](const Line& line) {
            return line.kind == kind && (!text || text(line.text));
        });
    }

private:
    static void onLog(void* data, int level, const libvlc_log_t*, const char* format,
                      va_list args) {
        auto* self = static_cast<LoggedPlayer*>(data);
        const Line line = vlcquirks::classify(level, format, args);
        const std::lock_guard lock(self->mutex_);
        self->lines_.push_back(line);
    }

    libvlc_instance_t* instance_ = nullptr;
    libvlc_media_player_t* player_ = nullptr;
    std::mutex mutex_;
    std::vector<Line> lines_;
};

TEST(VlcQuirks, RunningLibVlcIsTheVerifiedVersion) {
    EXPECT_TRUE(vlcquirks::checkVersion()) << vlcquirks::runningVersion().toStdString();
    EXPECT_TRUE(vlcquirks::isVerifiedVersion(u"3.0.18 Vetinari"_s));
    EXPECT_TRUE(vlcquirks::isVerifiedVersion(u"3.0.21"_s));
    EXPECT_FALSE(vlcquirks::isVerifiedVersion(u"3.1.0 Vetinari"_s));
    EXPECT_FALSE(vlcquirks::isVerifiedVersion(u"4.0.0-dev Otto Chriek"_s));
    EXPECT_FALSE(vlcquirks::isVerifiedVersion(u"30.0"_s));
    EXPECT_FALSE(vlcquirks::isVerifiedVersion(QString()));
}

TEST(VlcQuirks, StreamPluginFilesLieWhereTheyAreLoadedFrom) {
    const QStringList files = vlcquirks::streamPluginFiles();
    ASSERT_GT(files.size(), 10);
    for (const QString& file : files) {
        EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
    }
}

TEST(VlcQuirks, ErrorLinesAreReadInTheEnginesWords) {
    for (const QString& line : {u"ES_OUT_SET_(GROUP_)PCR is called too late"_s, u"Cannot peek."_s,
                                u"Your input can't be opened"_s}) {
        EXPECT_EQ(vlcmessages::reason({vlcquirks::errorLine(line)}),
                  u"The stream could not be read"_s);
    }
    EXPECT_EQ(vlcmessages::reason({vlcquirks::errorLine(u"HTTP 404 error"_s)}),
              u"HTTP 404 Not Found"_s);
    for (const QString& line : {u"connection failed: Connection refused"_s,
                                u"cannot resolve example.invalid port 80"_s}) {
        EXPECT_EQ(vlcquirks::errorLine(line), line);
    }
}

TEST_F(EngineTest, LibVlcLogsEveryAccessItOpens) {
    LoggedPlayer vlc;
    const QString tone = url(u"/tone.mp3"_s);
    vlc.play(libvlc_media_new_location(vlc.instance(), tone.toUtf8().constData()));
    const auto isTone = [&tone](const QString& target) { return target == tone; };
    EXPECT_TRUE(waitUntil([&] { return vlc.saw(Line::Kind::AccessOpened, isTone); }, 10s));
}

TEST_F(EngineTest, FedMediaOpensTheMemoryAccessAndItsComplaintIsKnown) {
    LoggedPlayer vlc;
    const auto open = [](void*, void** data, uint64_t* size) {
        *data = nullptr;
        *size = UINT64_MAX;
        return 0;
    };
    const auto read = [](void*, unsigned char*, size_t) -> ssize_t { return 0; };
    vlc.play(libvlc_media_new_callbacks(vlc.instance(), open, read, nullptr, nullptr, nullptr));
    EXPECT_TRUE(waitUntil([&] { return vlc.saw(Line::Kind::Noise); }, 10s));
    EXPECT_TRUE(vlc.saw(Line::Kind::AccessOpened, vlcquirks::isFedAccess));
}

TEST_F(EngineTest, DemuxHintPlaysMpegAudioAndLetsOtherFormatsThrough) {
    for (const char* name : {"tone.mp3", "tone.ogg"}) {
        LoggedPlayer vlc;
        const QByteArray path = QFile::encodeName(media_->filePath(QString::fromLatin1(name)));
        vlc.play(libvlc_media_new_path(vlc.instance(), path.constData()),
                 vlcquirks::fedMediaOptions());
        EXPECT_TRUE(waitUntil([&] { return vlc.playedSome(); }, 10s)) << name;
        EXPECT_FALSE(vlc.saw(Line::Kind::Error)) << name;
    }
}

}  // namespace
}  // namespace lyrevane::testing
