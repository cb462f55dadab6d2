#include "app/termination.h"

#include <QSocketNotifier>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_UNIX
// The handler may only write to a pipe; the notifier reads it on the main thread.
int RequestPipe[2] = {-1, -1};
constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};

extern "C" void OnTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(RequestPipe[1], &byte, 1);
    errno = savedErrno;
}
#endif

} // namespace

TTerminationRequests::TTerminationRequests(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), FOnRequest(std::move(onRequest))
{
#ifdef Q_OS_UNIX
    Q_ASSERT(RequestPipe[0] < 0);
    if (::pipe2(RequestPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        RequestPipe[0] = RequestPipe[1] = -1;
        return; // the signals keep their default: the program ends at once
    }
    FNotifier = new QSocketNotifier(RequestPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TTerminationRequests::Deliver);
    struct sigaction action = {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        ::sigaction(signal, &action, nullptr);
#endif
}

TTerminationRequests::~TTerminationRequests()
{
#ifdef Q_OS_UNIX
    if (RequestPipe[0] < 0)
        return;
    for (const int signal : Signals)
        ::signal(signal, SIG_DFL);
    delete FNotifier;
    ::close(RequestPipe[0]);
    ::close(RequestPipe[1]);
    RequestPipe[0] = RequestPipe[1] = -1;
#endif
}

void TTerminationRequests::Deliver()
{
#ifdef Q_OS_UNIX
    char buffer[64];
    while (::read(RequestPipe[0], buffer, sizeof buffer) > 0) {
    }
#endif
    if (FOnRequest)
        FOnRequest();
}
