#pragma once

#include <QString>

namespace lyrevane {

// Hands a URL to the desktop's opener for its registered handler.
class UrlLauncher {
public:
    virtual ~UrlLauncher() = default;
    // Starts the opener without waiting for it. False when it could not be started;
    // `error` then says why.
    virtual bool open(const QString& url, QString* error) = 0;
};

// Runs `xdg-open <url>` detached.
class XdgOpenLauncher final : public UrlLauncher {
public:
    explicit XdgOpenLauncher(QString program = QStringLiteral("xdg-open"))
        : program_(std::move(program)) {}
    bool open(const QString& url, QString* error) override;

private:
    QString program_;
};

}  // namespace lyrevane
