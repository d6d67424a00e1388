// The volume on a real PulseAudio server, whose new streams start at their own volume.
#include "enginefixture.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {
namespace {

// A private PulseAudio daemon with a null sink, reachable only through its own socket.
class PulseServer {
public:
    bool start(QString* why) {
        if (!dir_.isValid()) {
            *why = u"no temporary folder"_s;
            return false;
        }
        const QDir dir(dir_.path());
        dir.mkpath(u"runtime"_s);
        QFile::setPermissions(dir.filePath(u"runtime"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        socket_ = dir.filePath(u"native"_s);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, dir_.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, dir.filePath(u"runtime"_s));
        environment.insert(u"XDG_CONFIG_HOME"_s, dir_.path());
        environment.remove(u"PULSE_SERVER"_s);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(
            u"pulseaudio"_s,
            {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"--use-pid-file=no"_s,
             u"--disable-shm=yes"_s, u"-L"_s, u"module-null-sink"_s, u"-L"_s,
             u"module-native-protocol-unix auth-anonymous=1 socket="_s + socket_});
        if (!waitUntil([&] { return QFileInfo::exists(socket_); }, 10s)) {
            *why = u"pulseaudio did not start: "_s + QString::fromLocal8Bit(process_.readAll());
            return false;
        }
        previous_ = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", QFile::encodeName(u"unix:"_s + socket_));
        return true;
    }

    ~PulseServer() {
        if (!socket_.isEmpty()) {
            if (previous_.isEmpty()) {
                qunsetenv("PULSE_SERVER");
            } else {
                qputenv("PULSE_SERVER", previous_);
            }
        }
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }

private:
    QTemporaryDir dir_{QDir::tempPath() + u"/lyrevane-pulse-XXXXXX"_s};
    QProcess process_;
    QString socket_;
    QByteArray previous_;
};

// The volumes, in percent, of the streams playing on the server now (pactl's view).
QList<int> streamVolumes() {
    QProcess pactl;
    pactl.start(u"pactl"_s, {u"list"_s, u"sink-inputs"_s});
    if (!pactl.waitForFinished(5000)) {
        return {};
    }
    QList<int> volumes;
    static const QRegularExpression volume(u"^\\s*Volume: \\S+: \\d+ /\\s*(\\d+)%"_s,
                                           QRegularExpression::MultilineOption);
    for (auto it = volume.globalMatch(QString::fromLocal8Bit(pactl.readAllStandardOutput()));
         it.hasNext();) {
        volumes.append(it.next().captured(1).toInt());
    }
    return volumes;
}

// Every stream on the server plays at `percent`.
bool allAt(int percent) {
    const QList<int> volumes = streamVolumes();
    return !volumes.isEmpty() &&
           std::all_of(volumes.begin(), volumes.end(), [&](int v) { return v == percent; });
}

QString shown(const QList<int>& volumes) {
    QStringList texts;
    for (int v : volumes) {
        texts.append(QString::number(v));
    }
    return texts.join(u", "_s);
}

TEST_F(EngineTest, VolumeSurvivesNewStreamsOnPulseAudio) {
    for (const QString& tool : {u"pulseaudio"_s, u"pactl"_s}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            GTEST_SKIP() << tool.toStdString() << " is not installed";
        }
    }
    PulseServer pulse;
    QString why;
    if (!pulse.start(&why)) {
        GTEST_SKIP() << why.toStdString();
    }
    VlcEngineOptions options;
    options.vlcArguments = {u"--aout=pulse"_s};
    VlcMediaEngine engine(options);
    const auto playing = [&] { return engine.playState() == MediaEngine::Playing; };

    engine.setVolume(30);
    engine.setUrl(url(u"/tone.mp3"_s));
    ASSERT_TRUE(waitUntil(playing, 10s));
    EXPECT_TRUE(waitUntil([&] { return allAt(30); }, 2s))
        << "stream volumes " << shown(streamVolumes()).toStdString();

    // Each new media gets a new audio stream, which PulseAudio starts at full volume.
    engine.setUrl(url(u"/radio.m3u"_s));
    ASSERT_TRUE(waitUntil(playing, 10s));
    settle(700ms);
    EXPECT_TRUE(allAt(30)) << shown(streamVolumes()).toStdString();

    engine.stop();
    engine.setVolume(0);
    engine.play();
    ASSERT_TRUE(waitUntil(playing, 10s));
    settle(700ms);
    EXPECT_TRUE(allAt(0)) << shown(streamVolumes()).toStdString();

    engine.setVolume(80);
    EXPECT_TRUE(waitUntil([&] { return allAt(80); }, 2s)) << shown(streamVolumes()).toStdString();
}

}  // namespace
}  // namespace lyrevane::testing
