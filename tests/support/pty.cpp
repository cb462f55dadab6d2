#include "support/pty.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

TPtyPair::TPtyPair()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    // Raw on both sides: bytes pass unchanged (no CR/LF translation, no echo).
    termios attributes{};
    if (::tcgetattr(slave, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(slave, TCSANOW, &attributes);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Programs the test starts must not inherit an end: a child holding a copy of the
    // master would never see the hang-up when the test closes it.
    ::fcntl(master, F_SETFD, ::fcntl(master, F_GETFD) | FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, ::fcntl(slave, F_GETFD) | FD_CLOEXEC);
    FMaster = master;
    FSlaveKeepAlive = slave;
    FSlavePath = QString::fromLocal8Bit(name);
}

TPtyPair::~TPtyPair()
{
    if (FSlaveKeepAlive >= 0)
        ::close(FSlaveKeepAlive);
    if (FMaster >= 0)
        ::close(FMaster);
}

void TPtyPair::CloseMaster()
{
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

bool TPtyPair::Write(const QByteArray& bytes)
{
    if (FMaster < 0)
        return false;
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (done < bytes.size() && clock.elapsed() < 5000) {
        const ssize_t n = ::write(FMaster, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd waitFor{FMaster, POLLOUT, 0};
            ::poll(&waitFor, 1, 50);
        }
    }
    return done == bytes.size();
}

QByteArray TPtyPair::Read(int timeoutMs, qsizetype atLeast)
{
    QByteArray received;
    if (FMaster < 0)
        return received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < atLeast && clock.elapsed() < timeoutMs) {
        pollfd waitFor{FMaster, POLLIN, 0};
        if (::poll(&waitFor, 1, 20) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    }
    return received;
}
