#include "early/terminationwatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace lyrevane {

namespace {

// The handler may only write to a descriptor: the GUI thread reads the other end.
int signalSocket[2] = {-1, -1};

void onSignal(int number) {
    const int savedErrno = errno;  // the interrupted code may be about to read it
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

}  // namespace

bool TerminationWatcher::installHandlers() {
    if (signalSocket[0] >= 0) {
        return true;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0) {
        return false;  // the default actions stay in place
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
    return true;
}

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
    if (!installHandlers()) {
        return;
    }
    // A signal that came before is waiting in the socket and is reported at once.
    notifier_ = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatcher::readSignal);
}

TerminationWatcher::~TerminationWatcher() {
    if (notifier_ == nullptr) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
    ::close(signalSocket[0]);
    ::close(signalSocket[1]);
    signalSocket[0] = signalSocket[1] = -1;
}

void TerminationWatcher::readSignal() {
    unsigned char byte = 0;
    if (::read(signalSocket[1], &byte, 1) == 1) {
        Q_EMIT terminationRequested(byte);
    }
}

}  // namespace lyrevane
