#pragma once

#include <QString>

/// The process's standard error stream, for the console run's one-line progress display and its
/// final error line. Any thread; writes are unbuffered and each call writes its text whole.
class TkvConsole
{
public:
    /// True when the process runs in a desktop session (DISPLAY or WAYLAND_DISPLAY set and not empty),
    /// where a window can be shown and the desktop's programs opened.
    static bool DesktopSession();
    /// True when standard error is a terminal (then a progress line may be drawn there).
    static bool StderrIsTerminal();
    /// Writes `text` (UTF-8) to standard error as it is.
    static void WriteStderr(const QString &text);
    /// Draws `text` as the progress line: back to the start of the line, the text, the rest of the
    /// line cleared. Only call when StderrIsTerminal().
    static void ShowProgress(const QString &text);
    /// Removes the progress line.
    static void ClearProgress();
};
