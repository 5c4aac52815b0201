#include "kvChildProcess.h"

#include "kvNativeFile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

/// Writes the child's exec error number to `reporter` and leaves; only async-signal-safe calls.
[[noreturn]] void failInChild(int reporter)
{
    const int error = errno;
    [[maybe_unused]] const ssize_t written = ::write(reporter, &error, sizeof error);
    ::_exit(127);
}

} // namespace

TkvChildProcess::TkvChildProcess(const QString &program, const QStringList &arguments, bool inheritStandardError)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> argumentBytes{path};
    for (const QString &argument : arguments)
        argumentBytes.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // A socket pair rather than two pipes: writes can say MSG_NOSIGNAL, so a child that ended gives
    // EPIPE instead of a SIGPIPE that would end this whole program.
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error(QStringLiteral("Cannot start \"%1\": %2")
                                     .arg(program, TkvNativeFile::ErrorText(errno))
                                     .toStdString());
    int report[2]; // closes on a successful exec; carries errno when exec fails
    if (::pipe2(report, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(pair[0]);
        ::close(pair[1]);
        throw std::runtime_error(
            QStringLiteral("Cannot start \"%1\": %2").arg(program, TkvNativeFile::ErrorText(error)).toStdString());
    }
    const int devNull = inheritStandardError ? -1 : ::open("/dev/null", O_WRONLY | O_CLOEXEC);

    const pid_t child = ::fork();
    if (child == 0) {
        ::setpgid(0, 0);
        if (::dup2(pair[1], 0) < 0 || ::dup2(pair[1], 1) < 0)
            failInChild(report[1]);
        if (devNull >= 0)
            ::dup2(devNull, 2);
        // Signals this program ignores stay ignored across exec: give the helper the defaults back.
        ::signal(SIGPIPE, SIG_DFL);
        ::execv(argv[0], argv.data());
        failInChild(report[1]);
    }
    const int forkError = errno;
    ::close(pair[1]);
    ::close(report[1]);
    if (devNull >= 0)
        ::close(devNull);
    if (child < 0) {
        ::close(pair[0]);
        ::close(report[0]);
        throw std::runtime_error(QStringLiteral("Cannot start \"%1\": %2")
                                     .arg(program, TkvNativeFile::ErrorText(forkError))
                                     .toStdString());
    }
    pid = child;
    channel = pair[0];
    int execError = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == sizeof execError) {
        Wait(std::chrono::milliseconds(-1));
        ::close(channel);
        channel = -1;
        throw std::runtime_error(QStringLiteral("Cannot start \"%1\": %2")
                                     .arg(program, TkvNativeFile::ErrorText(execError))
                                     .toStdString());
    }
}

TkvChildProcess::~TkvChildProcess()
{
    Kill();
    Wait(std::chrono::milliseconds(-1));
    if (channel >= 0)
        ::close(channel);
}

bool TkvChildProcess::Write(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::send(channel, data, size_t(left), MSG_NOSIGNAL);
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

qint64 TkvChildProcess::Read(char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t got = ::recv(channel, buffer, size_t(size), 0);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

void TkvChildProcess::CloseInput()
{
    ::shutdown(channel, SHUT_WR);
}

void TkvChildProcess::Kill()
{
    // Under the lock that reaping takes: once reaped, the number may belong to another process.
    std::lock_guard guard(lock);
    if (pid <= 0 || status)
        return;
    ::kill(-pid_t(pid), SIGKILL);
    ::kill(pid_t(pid), SIGKILL);
}

std::optional<int> TkvChildProcess::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard guard(lock);
            if (status || pid <= 0)
                return status;
            int raw = 0;
            const pid_t done = ::waitpid(pid_t(pid), &raw, WNOHANG);
            if (done == pid_t(pid)) {
                status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return status;
            }
            if (done < 0 && errno != EINTR)
                return std::nullopt;
        }
        if (timeout.count() >= 0 && std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

QString TkvChildProcess::DescribeStatus(int code)
{
    if (code > 128)
        return QStringLiteral("signal %1 (%2)").arg(code - 128).arg(QString::fromLocal8Bit(::strsignal(code - 128)));
    return QStringLiteral("exit code %1").arg(code);
}
