#pragma once

#include <QString>

#include <functional>

/// The one way the program opens something outside itself: a web address, a mail link, a file or a
/// folder, handed to the desktop's default program.
///
/// Order of choice:
///  1. WEB2ARC_OPENER set and not empty: that program is started with the address as its only argument
///     (tests record the addresses this way);
///  2. an open hook is set (the window mode sets one that uses the desktop services): the hook;
///  3. a desktop session exists (DISPLAY or WAYLAND_DISPLAY set): xdg-open with the address;
///  4. otherwise nothing is opened.
/// Programs are started detached, with their standard streams on /dev/null; the call never waits for
/// them and never reports a failure (a missing program opens nothing).
///
/// Thread safety: OpenAddress may be called from any thread; SetOpenHook from the main thread before
/// other threads use OpenAddress.
namespace kvOpener {

using TkvOpenHook = std::function<void(const QString &address)>;

/// Opens `address` as described above. Returns at once.
void OpenAddress(const QString &address);

/// Sets (or, with an empty function, removes) the hook used when WEB2ARC_OPENER is not set.
void SetOpenHook(TkvOpenHook hook);

/// Starts `program` with `argument` as its only argument, detached (the program is not a child of
/// this process, so it leaves no zombie), streams on /dev/null. Returns false when the program could
/// not be started (fork failed); an exec failure is not seen.
bool SpawnDetached(const QString &program, const QString &argument);

} // namespace kvOpener
