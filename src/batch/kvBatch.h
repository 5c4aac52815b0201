#pragma once

#include "kvMatchBase.h"
#include "kvNode.h"
#include "kvRunOptions.h"
#include "kvTargetClaims.h"
#include "kvSiteScope.h"
#include "kvSiteSearch.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

/// A batch job: the meeting point of one run. Its search thread walks the source folder (and, on
/// request, its subfolders) and queues one TkvNode per accepted file; workers take the entries with
/// NextNode, in append order, each exactly once, while the search may still be running, and report
/// their outcomes with AddSuccess / AddFailure.
///
/// A site (a web address whose last segment holds a mask, TkvSiteScope::FromSource) is searched by
/// following links instead (TkvSiteSearch, at most the run's MaxPages pages, ThreadsCount connections):
/// each page found is queued under its address with the archive name TkvSiteTargetNames gives it below
/// the target, after OnSitePage has been handed the page's response. RegExt applies to the full
/// address; the mask and Subdir are the scope's.
///
/// Listing rules: a name is listed when the whole name matches `Mask` ignoring case ('*' any run, '?'
/// zero or one character); only regular files and links to regular files; a folder's files sorted by
/// name come first, then its subfolders sorted by name, each searched completely before the next;
/// names beginning with '.' are hidden files (left out when the run's SkipHidden is true) and such
/// folders are never searched; a folder reached twice (same device and inode) is searched once; a
/// folder that exists but cannot be listed (no permission, a path longer than the system takes) is
/// queued as an entry that has already failed, naming the folder and the cause, so its pages are not
/// left out without a word. The walk is iterative, so deep trees cannot exhaust the stack.
///
/// Thread safety: one re-entrant lock (LockNodes / NodesLock) guards the entries, Cursor, the counters
/// and Errors; callbacks run outside it and may take it. The main thread calls StartSearch,
/// AddSingleFile, Terminate, IsDrained, NodeCount. Workers call NextNode, AddSuccess, AddFailure.
/// SourceDir, Mask, Subdirs and TargetDir are written before the search starts and only read after.
/// The job must outlive every worker that takes entries from it.
class TkvBatch
{
public:
    /// A new job whose search follows the run's RegExt and SkipHidden; its search thread is not started.
    explicit TkvBatch(const TkvRunOptions &options = TkvRunOptions());
    /// Asks the search to stop, waits for the thread to end, then frees every entry. A subclass that
    /// overrides Execute ends the thread in its own destructor (Terminate, WaitFor).
    virtual ~TkvBatch();
    TkvBatch(const TkvBatch &) = delete;
    TkvBatch &operator=(const TkvBatch &) = delete;

    /// Sets TargetDir (creating that folder with its parents; a failure is left for the converters to
    /// report), SourceDir and Mask (folder and name part of the source, both passed through UrlToPath;
    /// for a site, the start folder's address and the mask) and Subdirs, then starts the search thread unless it was
    /// started before or SearchDone is set. An empty SourceDir searches the current folder. Throws std::runtime_error
    /// when the target is empty; nothing is changed then. REQUIRES: the search thread is not running.
    void StartSearch(const QString &source, const QString &target, bool subdirs);
    /// Queues `path` when Accepts allows it, then calls OnNodeAdded outside the lock.
    void AddFile(const QString &path);
    /// AddFile, then marks the search as done: for dropped files and web addresses.
    void AddSingleFile(const QString &path);
    /// Queues `path` as an entry that has already failed with `message` (Status Failure), without the
    /// name test; a converter reports it without converting it. Then calls OnNodeAdded.
    void AddFailedEntry(const QString &path, const QString &message);
    /// The name test: the Mask as a regular expression (MaskToRegex), then RegExtPattern when set, both
    /// through NameMatcher against the whole path. True when there is no NameMatcher.
    bool Accepts(const QString &path) const;

    /// The next entry in append order, waiting while the queue is empty and the search still runs.
    /// Null when every entry has been handed out and the search has ended (Drained is then set). A
    /// terminated job whose search thread never started hands out what is queued, then null at once
    /// (also setting Drained) instead of waiting for a search that will never end.
    TkvNode *NextNode();
    void AddSuccess();
    /// Counts a failure and keeps `text` in Errors unless an equal text (ignoring case, as
    /// QString::compare with Qt::CaseInsensitive) is there. Constant time on average, however many
    /// distinct texts a run collects.
    void AddFailure(const QString &text);
    int NodeCount() const;
    /// Entries queued and not yet handed out.
    int EntriesLeft() const;
    bool IsDrained() const { return Drained; }
    bool IsSearchDone() const { return SearchDone; }

    /// Takes the lock (re-entrant) and returns the entry list; release with UnlockNodes.
    const std::vector<std::unique_ptr<TkvNode>> &LockNodes();
    void UnlockNodes();
    /// The same lock, for std::lock_guard.
    std::recursive_mutex &NodesLock() const { return lock; }

    /// Asks the search thread to stop after the entry it is listing (a thread not yet started never
    /// searches), and wakes the workers waiting in NextNode. Any thread.
    void Terminate();
    bool Terminated() const { return terminateRequested; }
    /// Waits until the search thread has ended; returns at once when it never started.
    void WaitFor();

    /// A "file:" URL as a local path; any other text unchanged (TkvPath::UrlToPath).
    static QString UrlToPath(const QString &text);
    /// True when `source` names a web site to search rather than one page or a folder.
    static bool IsSite(const QString &source);

    // ---- counters, read directly after the run (or under the lock while it runs) ----
    std::atomic<int> Successes{0};
    std::atomic<int> Failures{0};
    QStringList Errors; ///< distinct failure texts, first-seen order; guarded by the lock

    // ---- set before the search starts ----
    QString Mask;
    bool Subdirs = false;
    QString RegExtPattern; ///< the run's RegExt, in force from the start of the search
    QString SourceDir;     ///< folder part of the source, ending with '/' (or empty)
    QString TargetDir;     ///< the target folder
    /// The archive paths given to this job's pages, so that none replaces another's (any thread).
    TkvTargetClaims TargetClaims;
    TkvNodeEvent OnNodeAdded;
    /// Called once when the search has ended (also after AddSingleFile), on the thread that ended it.
    std::function<void(TkvBatch &)> OnSearchDone;
    /// A site search's page, before its entry is queued: on the search thread. May keep the response
    /// for the page's conversion.
    std::function<void(const TkvSitePage &page)> OnSitePage;
    /// A sentence for the log from a site search (a page that could not be read, the stop at MaxPages):
    /// on the search thread.
    std::function<void(const QString &text)> OnNote;

protected:
    /// The search thread's body.
    virtual void Execute();
    /// Lists `folder` and, with `subdirs`, every folder below it, queueing accepted files.
    void SearchFolder(const QString &folder, const QString &mask, bool subdirs, bool skipHidden);
    /// Follows the links of the site `scope` names, queueing each page found.
    void SearchSite(const TkvSiteScope &scope);

private:
    void setSearchDone();
    void queue(std::unique_ptr<TkvNode> entry);

    const QString regExt;  // the run's RegExt, for RegExtPattern when the search starts
    const bool skipHidden; // the run's SkipHidden
    const int maxPages;    // the run's MaxPages, for a site
    const int connections; // the run's ThreadsCount: requests to a site at one time
    const QString targetExt;
    std::optional<TkvSiteScope> site; // set by StartSearch when the source is a site

    mutable std::recursive_mutex lock;
    std::vector<std::unique_ptr<TkvNode>> Nodes;
    int Cursor = 0;
    // The texts of Errors case-folded as the comparison ignoring case sees them, so a failure is
    // checked against the texts seen so far without scanning them all; guarded by the lock.
    std::unordered_set<std::u32string> errorKeys;

    std::atomic<bool> SearchDone{false};
    std::atomic<bool> Drained{false};
    std::atomic<bool> terminateRequested{false};
    std::atomic<bool> searchStarted{false}; // the search thread was started

    // Wake-up of workers waiting in NextNode: bumped after each append and when the search ends.
    std::mutex waitLock;
    std::condition_variable waitSignal;
    uint64_t changes = 0;
    std::atomic<int> waiters{0}; // workers inside the wait; changed under waitLock

    std::mutex threadLock; // guards the start and the join of the search thread
    std::thread searchThread;
};
