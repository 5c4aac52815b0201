#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <mutex>
#include <optional>

/// A helper program running as a child of this process, its standard input and output connected to
/// this process, its standard error inherited or on /dev/null. The child is the leader of a process
/// group of its own, so Kill ends whatever it started as well.
///
/// Thread rules: one thread may Write while another Reads; Kill, CloseInput and Pid may be called from
/// any thread at any time; Wait from one thread at a time. The destructor kills and reaps the child.
class TkvChildProcess
{
public:
    /// Starts `program` with `arguments`. Throws std::runtime_error with a sentence naming the program
    /// and the cause when it cannot be started (not found, not executable, no processes left).
    TkvChildProcess(const QString &program, const QStringList &arguments, bool inheritStandardError);
    ~TkvChildProcess();
    TkvChildProcess(const TkvChildProcess &) = delete;
    TkvChildProcess &operator=(const TkvChildProcess &) = delete;

    /// Writes all of `bytes` to the child's input, waiting while it is full. False when the child's
    /// input is closed (it ended, or CloseInput was called).
    bool Write(const QByteArray &bytes);
    /// Reads what is there of the child's output, waiting for at least one byte: the count read, 0 at
    /// the end of the output (the child ended or was killed), -1 on an error.
    qint64 Read(char *buffer, qint64 size);
    /// Ends the child's input: a child that reads to the end of its input then ends by itself.
    void CloseInput();
    /// Sends SIGKILL to the child's process group. Safe after the child has ended.
    void Kill();
    /// Waits at most `timeout` (a negative one: without limit) for the child to end and reaps it. Its exit
    /// status: the exit code, or 128 + the signal that ended it; nothing while it still runs.
    std::optional<int> Wait(std::chrono::milliseconds timeout);
    qint64 Pid() const { return pid; }

    /// How an exit status of Wait reads in a sentence: "exit code 3", "signal 9 (Killed)".
    static QString DescribeStatus(int status);

private:
    qint64 pid = -1;
    int channel = -1; ///< this end of the socket pair that is the child's input and output
    std::mutex lock; ///< guards status and reaping against Kill
    std::optional<int> status;
};
