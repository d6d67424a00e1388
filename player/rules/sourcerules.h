#pragma once

#include <QString>
#include <QStringList>

struct sockaddr;

namespace lyrevane {

// The rules every URL must pass before the media engine opens it: the URL the user gave,
// each playlist entry, each redirect target. They are the rules of command media: a
// network stream scheme (http, https, mms, mmsh, rtsp) with a host, and no refused
// source in it, however its host is spelled (the built-in list, plus `extraRefused`,
// matched the same way). Safe to call from any thread.
class SourceRules {
public:
    SourceRules() = default;
    explicit SourceRules(QStringList extraRefused);

    bool allows(const QString& url) const;
    // Whether a connection to `address` (IPv4 or IPv6) may be made: a host name that resolves
    // to a refused address is refused like the address itself. Loopback and private addresses
    // are allowed unless listed.
    bool allowsAddress(const sockaddr* address) const;

private:
    QStringList extraRefused_;
    QStringList extraHosts_;  // normalised
};

namespace sourcemessages {

// Texts shown when indirect sources lead nowhere the player may go. Targets taken from
// the network are shortened so that a hostile server cannot fill the message box.
QString refusedRedirect(const QString& name, const QString& target);
QString refusedSource(const QString& name);
QString refusedPlaylist(const QString& name);
QString tooManyRedirects(const QString& name);
QString redirectLoop(const QString& name);
QString emptyPlaylist(const QString& name);
QString timedOut(const QString& name);
QString playlistTooLarge(const QString& name);
QString playlistsTooDeep(const QString& name);

}  // namespace sourcemessages

}  // namespace lyrevane
