#include "kvHelperProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace kvHelperProcess {

int TakeOverStandardOutput()
{
    const int protocol = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (protocol < 0 || ::dup2(2, 1) < 0)
        return -1;
    return protocol;
}

void IgnoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

bool IsSuperuser()
{
    return ::geteuid() == 0;
}

void EndWithParent()
{
    const pid_t parent = ::getppid();
    std::thread([parent] {
        // Re-parenting changes getppid(): the converter ended without closing our input.
        while (::getppid() == parent)
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::_exit(1);
    }).detach();
}

void KillProcess(qint64 pid)
{
    if (pid > 0)
        ::kill(pid_t(pid), SIGKILL);
}

qint64 ReadSome(int fd, char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size_t(size));
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool WriteAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace kvHelperProcess
