#include "enginetest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QThread>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace lyrevane::testing {

void settle(std::chrono::milliseconds duration) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

bool runProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

std::unique_ptr<VlcMediaEngine> makeEngine(std::chrono::milliseconds connectTimeout) {
    PlayTimings timings;
    timings.connectTimeout = connectTimeout;
    return makeEngine(timings);
}

std::unique_ptr<VlcMediaEngine> makeEngine(const PlayTimings& timings) {
    VlcEngineOptions options;
    options.vlcArguments = {u"--aout=dummy"_s};
    options.timings = timings;
    return std::make_unique<VlcMediaEngine>(options);
}

bool reaches(const MediaEngine& engine, MediaEngine::PlayState state,
             std::chrono::milliseconds timeout) {
    return waitUntil([&] { return engine.playState() == state; }, timeout);
}

std::string availableControls(const MediaEngine& engine) {
    using Control = MediaEngine::Control;
    std::string controls;
    for (const auto& [control, name] :
         {std::pair{Control::Play, "play"}, std::pair{Control::Pause, "pause"},
          std::pair{Control::Stop, "stop"}}) {
        if (engine.isAvailable(control)) {
            controls += controls.empty() ? name : std::string(" ") + name;
        }
    }
    return controls;
}

SignalLog::SignalLog(MediaEngine& engine) {
    connect(&engine, &MediaEngine::openStateChanged, this,
            [this](int state) { events.push_back("open:" + std::to_string(state)); });
    connect(&engine, &MediaEngine::playStateChanged, this,
            [this](int state) { events.push_back("play:" + std::to_string(state)); });
    connect(&engine, &MediaEngine::errorOccurred, this, [this] { events.emplace_back("error"); });
}

int SignalLog::count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

int SignalLog::indexOf(const std::string& event) const {
    const auto it = std::find(events.begin(), events.end(), event);
    return it == events.end() ? -1 : static_cast<int>(it - events.begin());
}

StreamServer::StreamServer(const QString& root) {
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(u"python3"_s, {QStringLiteral(LYREVANE_ENGINE_TEST_DIR "/stream_server.py"),
                                  u"--root"_s, root});
    waitUntil([this] { return port_ != 0 || process_.state() == QProcess::NotRunning; }, 10s);
}

StreamServer::~StreamServer() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

QString StreamServer::url(const QString& path) const {
    return u"http://127.0.0.1:"_s + QString::number(port_) + path;
}

QStringList StreamServer::looks() {
    QCoreApplication::processEvents();
    readOutput();
    return looks_;
}

qint64 StreamServer::sent(const QString& path) {
    QCoreApplication::processEvents();
    readOutput();
    return sent_.value(path);
}

QStringList StreamServer::requests() {
    QCoreApplication::processEvents();
    readOutput();
    return requests_;
}

void StreamServer::readOutput() {
    pending_ += process_.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending_.left(end)).trimmed();
        pending_.remove(0, end + 1);
        if (line.startsWith(u"PORT "_s)) {
            port_ = line.mid(5).toInt();
        } else if (line.startsWith(u"GET "_s)) {
            requests_.append(line.mid(4));
        } else if (line.startsWith(u"LOOK "_s)) {
            looks_.append(line.mid(5));
        } else if (line.startsWith(u"SENT "_s)) {
            const QStringList parts = line.split(u' ');
            sent_.insert(parts.value(1), parts.value(2).toLongLong());
        }
    }
}

}  // namespace lyrevane::testing
