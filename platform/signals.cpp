#include "platform/signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace lumo {

#ifdef Q_OS_UNIX

namespace {

// The two ends of a socket pair: the handler writes the signal's number to the first, the
// event loop reads it from the second. A handler may do little more than write(2) safely.
int wakeUp[2] = {-1, -1};
// Lock-free, so the handler may set it.
std::atomic<int> lastSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onSignalArrived(int signal) {
    lastSignal.store(signal, std::memory_order_relaxed);
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(wakeUp[0], &number, 1);
    errno = saved;
}

} // namespace

void installQuitOnSignals(std::function<void(int signal)> onSignal) {
    if (wakeUp[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wakeUp) != 0)
        return;
    // A full buffer must not block the handler: a signal already waiting is enough.
    ::fcntl(wakeUp[0], F_SETFL, ::fcntl(wakeUp[0], F_GETFL) | O_NONBLOCK);

    auto* notifier = new QSocketNotifier(wakeUp[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onSignal = std::move(onSignal)] {
        unsigned char number = 0;
        if (::read(wakeUp[1], &number, 1) == 1)
            onSignal(number);
    });

    struct sigaction action {};
    action.sa_handler = onSignalArrived;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

int quitSignalReceived() {
    return lastSignal.load(std::memory_order_relaxed);
}

#else

void installQuitOnSignals(std::function<void(int signal)>) {}

int quitSignalReceived() {
    return 0;
}

#endif

} // namespace lumo
