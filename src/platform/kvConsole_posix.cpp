#include "kvConsole.h"

#include <QByteArray>

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace {

void WriteAllBytes(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // nothing sensible to do when stderr itself fails
        p += n;
        left -= n;
    }
}

} // namespace

bool TkvConsole::DesktopSession()
{
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

bool TkvConsole::StderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void TkvConsole::WriteStderr(const QString &text)
{
    WriteAllBytes(text.toUtf8());
}

void TkvConsole::ShowProgress(const QString &text)
{
    WriteAllBytes("\r" + text.toUtf8() + "\x1b[K");
}

void TkvConsole::ClearProgress()
{
    WriteAllBytes("\r\x1b[K");
}
