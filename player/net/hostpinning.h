#pragma once

#include "rules/sourcerules.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>

namespace lyrevane {

// Whether the rules allow every one of `addresses` (and there is one): a name may stand for
// several, and whoever connects may take any of them.
bool allAllowed(const SourceRules& rules, const QList<QHostAddress>& addresses);

// For the stream schemes libVLC opens itself (mms, mmsh, rtsp): looks up the URL's host, with
// a deadline, and gives the URL back with a numeric address in its place, one the rules allow,
// so that libVLC connects where the player checked instead of looking the name up itself.
// Lives on the engine's network thread; one lookup per ticket, reported once.
class HostPinning final : public QObject {
    Q_OBJECT

public:
    explicit HostPinning(SourceRules rules, QObject* parent = nullptr);

    void pin(quint64 ticket, const QString& url, std::chrono::milliseconds deadline);

Q_SIGNALS:
    // `pinned` is the URL to open; empty when the host is refused (`refused`) or was not
    // found (`line` says so, in the media library's words).
    void done(quint64 ticket, const QString& pinned, bool refused, const QString& line);

private:
    SourceRules rules_;
};

}  // namespace lyrevane
