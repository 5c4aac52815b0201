#pragma once

#include "kvRunObserver.h"
#include "kvRunOptions.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class TkvBatch;
class TkvConvertor;
class TkvMainThreadInvoker;
class TkvRunContext;
struct TkvEngineParts;
struct TkvSitePage;

/// One run: the job that finds the pages (TkvBatch), the chain of converters that turns them into
/// archives, the result lines, the engine's parts the conversions share, and the end-of-run work
/// (usage counters, failure report, log file) done in one place for the console and the window.
///
/// A site's search hands each page it read to the engine's resource cache, where the page's conversion
/// takes it instead of fetching it again.
///
/// Use: Search (or AddSingleFile) fills the job; Convert starts ThreadsCount converters on it; Pause
/// stops them after their files in progress and keeps the job, so a later Convert goes on with the
/// rest; Stop also ends the search. With RunScripts, each Convert starts its own page renderer
/// (TkvRenderClient); Stop ends the pages it is rendering at once (they fail), Pause lets them finish,
/// and the end of the chain lets the renderer go. When the last converter has ended, the run does its end-of-run
/// work and tells its observer RunFinished: posted to the main thread through `mainThread`, or, without
/// one, from Wait, which the console calls.
///
/// Thread safety: every member on the main thread (the one that made the run), except what the
/// observer is told on other threads. The destructor stops the run and waits for its converters and
/// its search thread. REQUIRES: the observer outlives the run.
class TkvRun
{
public:
    /// `options` are the search's (RegExt, SkipHidden) and the first chain's until Convert is given
    /// its own. `mainThread` (not owned; may be null) takes the end of the run to the main thread.
    TkvRun(TkvRunOptions options, TkvRunObserver &observer, TkvMainThreadInvoker *mainThread = nullptr);
    ~TkvRun();
    TkvRun(const TkvRun &) = delete;
    TkvRun &operator=(const TkvRun &) = delete;

    TkvBatch &Job() const { return *job; }
    const TkvRunOptions &Options() const { return options; }

    /// Starts the job's search (TkvBatch::StartSearch); throws as it does. The observer hears
    /// SearchFinished when it has ended.
    void Search(const QString &source, const QString &target, bool subdirs);
    /// Queues one page or address without a search.
    void AddSingleFile(const QString &path);

    /// Starts the converters on the job, writing under `target`, with `options` (ThreadsCount, the
    /// converter class, the target rules, Charset); counts the run ("C"). REQUIRES: !IsConverting().
    void Convert(const TkvRunOptions &options, const QString &target);
    /// Stops every converter after the file it is working on; the job keeps the rest.
    void Pause();
    /// Pause, ends the search, and ends the pages the renderer is working on.
    void Stop();
    /// Stop, for a cause from outside the run (a signal): the log then ends with the line
    /// "Interrupted => <cause> => ..." after the pages reported so far, and InterruptedBy tells the cause.
    void Interrupt(const QString &cause);
    /// The cause given to Interrupt; empty when the run was not interrupted.
    QString InterruptedBy() const { return interruption; }
    /// From Convert until the end-of-run work is done.
    bool IsConverting() const { return converting; }
    /// Converters of the current chain that have not ended.
    int ConvertorsRunning() const;

    /// Without a main thread to post to: waits until every converter has ended, calling `tick` about
    /// every 100 ms meanwhile, then does the end of the run here. Throws what the end of the run
    /// throws (a log file that cannot be written).
    void Wait(const std::function<void()> &tick = {});

    /// Written with the result lines at the end of each chain when not empty (the console's log).
    QString LogFile;

    /// Why the search found no page, as one sentence for standard error or the status bar. `error` is
    /// set when the Source itself is wrong (empty, holding a NUL, a folder or page that does not
    /// exist), and cleared when an existing folder merely holds no matching page, which a scheduled run
    /// over a folder that is sometimes empty must not count as a failure.
    /// REQUIRES: Search was called and its search has ended with no entry.
    QString NothingFound(bool &error) const;
    /// What the window's status bar says when the search has ended: "1,169 pages found.", or
    /// NothingFound; followed by RegExtProblem when there is one.
    QString SearchReport() const;
    /// The end of the run in one line: "1,169 converted, 12 skipped, 3 failed in 0.9 s; log: <logFile>"
    /// (no log part when `logFile` is empty). Skipped pages are those whose archive existed under
    /// IsOverwrite=skip; the time is the converters' time, from Convert to the end of the run.
    QString Summary(const QString &logFile) const;
    /// Pages reported as skipped so far.
    int Skipped() const { return skipped; }
    /// A sentence saying that `pattern` is not a valid regular expression and so lets every page
    /// pass; the empty text for a valid or empty pattern.
    static QString RegExtProblem(const QString &pattern);
    /// The result lines so far, in the order the entries were reported.
    QStringList Results() const;
    /// What the search had to say (a site's page that could not be read, the stop at MaxPages), in
    /// order; each is also written to standard error as it comes.
    QStringList Notes() const;

    /// "Success" for status 1, "Failure" for 2, "Running" otherwise.
    static QString StatusWord(int status);
    /// "<status> => <file> => <message>": a line of the console's log, file and message as LogText.
    static QString ResultLine(const TkvNode &entry);
    /// "[<status>] => <file> => <result>": a line of the window's list as it is exported, file and
    /// result as LogText.
    static QString ListLine(int status, const QString &file, const QString &result);
    /// Creates the folder of the log file `path` with its parents, before a run, so that a log that
    /// cannot be placed stops the run before it converts anything. Throws TkvFileError naming the
    /// folder, the log and the cause.
    static void MakeLogFolder(const QString &path);
    /// `text` with every control character (C0, DEL, C1) and line or paragraph separator written as
    /// an escape ("\n", "\r", "\t", "\x1B", "\u2028"), so that a name holding a line break can
    /// neither split its log line nor forge another one. Other text is unchanged.
    static QString LogText(const QString &text);
    /// Writes `lines` to `path`: UTF-8 without byte-order mark, CR LF after every line. A regular file
    /// (or a new one) is replaced whole through a temporary file, so a failure (a full disk) keeps an
    /// older log as it was; a device or pipe (/dev/stdout) is written to in place. The folder is not
    /// created. Throws TkvFileError naming the path and the cause.
    static void WriteLog(const QString &path, const QStringList &lines);
    /// Items joined by ","; an item holding a character below code 33, a comma or a double quote is
    /// put in double quotes with its inner quotes doubled.
    static QString CommaText(const QStringList &items);
    /// The failure report's action: "err&e=" and the comma text of `errors`, made safe for the query.
    /// Texts past about MaxFailureReportLength characters are left out and counted: "(and 12 more)".
    static QString FailureAction(const QStringList &errors);
    static constexpr qsizetype MaxFailureReportLength = 2000;

private:
    void entryDone(TkvNode &entry);
    void keepSitePage(const TkvSitePage &page);
    void note(const QString &text);
    void chainEnded();
    void finish();

    TkvRunOptions options;
    TkvRunObserver &observer;
    TkvMainThreadInvoker *mainThread;
    std::shared_ptr<TkvEngineParts> engine;
    std::unique_ptr<TkvBatch> job;
    std::shared_ptr<TkvRunContext> context; ///< the current chain's
    std::shared_ptr<TkvConvertor> chain;    ///< its head, kept until the chain has ended
    bool converting = false;
    QString source;                   ///< as Search was given it
    bool sourceFolderMissing = false; ///< the source's folder did not exist when Search began
    std::atomic<int> skipped{0};
    std::chrono::steady_clock::time_point chainStarted;
    std::chrono::steady_clock::duration busy{}; ///< converters' time of the chains that have ended
    QString interruption;                                  ///< the cause given to Interrupt
    std::shared_ptr<int> alive = std::make_shared<int>(0); ///< lets a posted end see the run is gone
    mutable std::mutex resultsLock;
    QStringList results;
    QStringList notes; ///< guarded by resultsLock
};
