#include "kvOpener.h"

#include "kvConsole.h"

#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace kvOpener {

namespace {

std::mutex hookLock;
TkvOpenHook &Hook()
{
    static TkvOpenHook hook;
    return hook;
}

} // namespace

bool SpawnDetached(const QString &program, const QString &argument)
{
    // Everything the children need is prepared before fork: after it only async-signal-safe calls.
    const QByteArray prog = program.toLocal8Bit();
    const QByteArray arg = argument.toUtf8();
    char *argv[] = {const_cast<char *>(prog.constData()), const_cast<char *>(arg.constData()), nullptr};
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);

    const pid_t child = ::fork();
    if (child < 0) {
        if (devNull >= 0)
            ::close(devNull);
        return false;
    }
    if (child == 0) {
        // Intermediate child: start the grandchild in its own session and leave at once, so the
        // program is re-parented and never becomes our zombie.
        ::setsid();
        const pid_t grandChild = ::fork();
        if (grandChild == 0) {
            if (devNull >= 0) {
                ::dup2(devNull, 0);
                ::dup2(devNull, 1);
                ::dup2(devNull, 2);
            }
            ::execvp(argv[0], argv);
            ::_exit(127);
        }
        ::_exit(grandChild < 0 ? 1 : 0);
    }
    if (devNull >= 0)
        ::close(devNull);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void SetOpenHook(TkvOpenHook hook)
{
    std::lock_guard<std::mutex> guard(hookLock);
    Hook() = std::move(hook);
}

void OpenAddress(const QString &address)
{
    if (address.isEmpty())
        return;
    const QString opener = qEnvironmentVariable("WEB2ARC_OPENER");
    if (!opener.isEmpty()) {
        SpawnDetached(opener, address);
        return;
    }
    TkvOpenHook hook;
    {
        std::lock_guard<std::mutex> guard(hookLock);
        hook = Hook();
    }
    if (hook) {
        hook(address);
        return;
    }
    if (TkvConsole::DesktopSession())
        SpawnDetached(QStringLiteral("xdg-open"), address);
}

} // namespace kvOpener
