#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <mutex>

class TkvBatch;
class TkvConvertor;
struct TkvEngineParts;
struct TkvNode;

/// The console runner: converts the current project's source without any window, collects one result
/// line per reported entry, adds the run's numbers to the usage counters, opens the failure report
/// when files failed and writes the result lines to the LogFile. One instance for the process; it
/// runs at most once.
///
/// Thread safety: Run and Summarize on the main thread; AddResult on the worker threads (appends
/// are serialised by the runner's own lock). Results and the job are read without the lock only after
/// every converter has ended.
class TkvMain
{
public:
    TkvMain();
    ~TkvMain();
    TkvMain(const TkvMain &) = delete;
    TkvMain &operator=(const TkvMain &) = delete;

    std::unique_ptr<TkvBatch> Batch; ///< the run's job; kept until the runner is destroyed
    /// Head of the chain while the run goes on; converters end by themselves, the runner only keeps the
    /// chain's links valid until the last one has ended.
    std::shared_ptr<TkvConvertor> Convertor;
    QStringList Results; ///< "%s => %s => %s" lines in the order the entries were reported
    std::shared_ptr<TkvEngineParts> EngineParts; ///< the engine's caches for the run

    /// The whole run: search, convert with ThreadsCount workers, wait until every converter has ended,
    /// Summarize. An empty Target means each archive is written beside its source (the source's
    /// folder is the target). REQUIRES: Project set (and the descriptor's ConverterClass).
    /// Throws std::runtime_error when the log file cannot be written (the archives are already written
    /// and counted); start-up prints it as one line and ends with exit code 1.
    void Run();
    /// The result callback: appends the entry's result line. Called on worker threads.
    void AddResult(TkvBatch &batch, TkvNode &entry);
    /// The end of the run: counters "A", "S", "F"; the failure report; the log file.
    void Summarize();

    /// "Success", "Failure" or "Running" for a status value.
    static QString StatusWord(int status);
    /// "<word> => <FileName> => <Message>".
    static QString ResultLine(const TkvNode &entry);
    /// Items joined by ","; an item holding a character below code 33, a comma or a double quote is
    /// put in double quotes with its inner quotes doubled.
    static QString CommaText(const QStringList &items);
    /// The failure report's action: "err&e=" and the comma text of `errors`, made safe for the query.
    /// Texts past about MaxFailureReportLength characters are left out and counted: "(and 12 more)".
    static QString FailureAction(const QStringList &errors);
    static constexpr qsizetype MaxFailureReportLength = 2000;
    /// Writes `lines` to `path` as UTF-8 without byte-order mark, CR LF after every line. The folder is
    /// not created. Throws std::runtime_error naming the path and the cause.
    static void WriteLog(const QString &path, const QStringList &lines);

private:
    /// Waits until the chain has ended, woken by its last converter (redrawing the progress line
    /// every 100 ms meanwhile).
    void WaitForConvertors();
    void ShowProgress(bool terminal, std::chrono::steady_clock::time_point start);

    std::mutex resultsLock;
};

/// The one process-wide console runner; null until start-up creates it.
extern TkvMain *Main;
