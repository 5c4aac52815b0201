#pragma once

#include <QByteArray>

/// What a helper program (a child that talks to its parent over its standard input and output) needs
/// from the system. Any thread, unless a function says otherwise.
namespace kvHelperProcess {

/// Makes standard output private to the caller: returns a new descriptor for what standard output was,
/// and points descriptor 1 at standard error, so nothing a library prints can mix into the protocol.
/// -1 when the system refuses. Call once, before other threads start.
int TakeOverStandardOutput();
/// Lets writes to a closed pipe fail with an error instead of ending the process.
void IgnoreBrokenPipes();
/// True when running as the superuser (a browser engine's sandbox cannot run as root).
bool IsSuperuser();
/// Ends the process at once when its parent goes away, even if the caller's own threads are stuck.
/// Starts a watching thread; call once.
void EndWithParent();
/// Sends SIGKILL to process `pid` (a child of ours). Does nothing for pid <= 0.
void KillProcess(qint64 pid);

/// Reads what is there from `fd`, waiting for at least one byte: the count, 0 at end of input, -1 on
/// an error.
qint64 ReadSome(int fd, char *buffer, qint64 size);
/// Writes all of `bytes` to `fd`; false when the other end is gone or the write failed.
bool WriteAll(int fd, const QByteArray &bytes);

} // namespace kvHelperProcess
