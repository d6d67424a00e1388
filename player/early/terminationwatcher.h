#pragma once

#include <QObject>

class QSocketNotifier;

namespace lyrevane {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread, so that a player
// told to stop (a session ending, `kill`, Ctrl-C in a terminal) closes its window the
// ordinary way and saves its settings. One instance per program; the handlers the `Lyrevane`
// program installs are the ones the player's module watches (this code is loaded once, from
// liblyrevane-early.so).
class TerminationWatcher final : public QObject {
    Q_OBJECT

public:
    // Catches SIGTERM, SIGINT and SIGHUP from now on, before any watcher exists (no
    // application object needed): a signal that comes early waits for the watcher instead of
    // ending the program unsaved. False when the handlers could not be installed.
    static bool installHandlers();

    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

Q_SIGNALS:
    void terminationRequested(int signal);

private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace lyrevane
