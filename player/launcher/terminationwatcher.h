#pragma once

#include <QObject>

class QSocketNotifier;

namespace lyrevane {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so that a player
// told to stop (a session ending, `kill`, Ctrl-C in a terminal) closes its window the
// ordinary way and saves its settings. One instance per program.
class TerminationWatcher final : public QObject {
    Q_OBJECT

public:
    // Catches SIGTERM, SIGINT and SIGHUP from now on, before any watcher exists (no
    // application object needed): a signal that comes early waits for the watcher instead of
    // ending the program unsaved. False when the handlers could not be installed.
    static bool InstallHandlers();
    // The socket the installed handlers write to (-1s when none are installed), and its
    // adoption by another copy of this code: the player's module takes over the handlers its
    // launcher installed, with any signal already waiting in the socket.
    static void HandlerSocket(int ends[2]);
    static void AdoptHandlers(const int ends[2]);

    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signal);

private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace lyrevane
