#include "kvBatch.h"

#include "kvDirListing.h"
#include "kvFileName.h"
#include "kvMatch.h"
#include "kvNativeFile.h"
#include "kvPath.h"
#include "kvSiteTargetNames.h"
#include "kvWildcard.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// `text` as QString::compare with Qt::CaseInsensitive sees it: one value per UTF-16 unit, each unit
// case-folded on its own except a low surrogate after a high one, which stands for the folded code
// point of the pair. Two texts compare equal ignoring case exactly when their keys are equal.
std::u32string caseFoldedKey(const QString &text)
{
    std::u32string key;
    key.reserve(size_t(text.size()));
    char16_t previous = 0;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        char32_t point = unit;
        if (QChar::isLowSurrogate(unit) && QChar::isHighSurrogate(previous))
            point = QChar::surrogateToUcs4(previous, unit);
        key.push_back(QChar::toCaseFolded(point));
        previous = unit;
    }
    return key;
}

} // namespace

TkvBatch::TkvBatch(const TkvRunOptions &options)
    : regExt(options.Text(TkvOption::RegExt)), skipHidden(options.Boolean(TkvOption::SkipHidden)),
      maxPages(options.Integer(TkvOption::MaxPages)),
      connections(std::max(1, options.Integer(TkvOption::ThreadsCount))), targetExt(options.TargetExt)
{}

TkvBatch::~TkvBatch()
{
    Terminate();
    WaitFor();
}

void TkvBatch::StartSearch(const QString &source, const QString &target, bool subdirs)
{
    const QString sourcePath = UrlToPath(source);
    const QString targetPath = UrlToPath(target);
    if (targetPath.isEmpty())
        throw std::runtime_error("Unable to create directory: no target folder was given.");
    TargetDir = targetPath;
    TkvFileName::MakePath(TargetDir); // a failure is reported per file by the converters

    site = TkvSiteScope::FromSource(source, subdirs);
    if (site) {
        Mask = site->Mask();
        SourceDir = site->Folder();
    } else {
        Mask = TkvPath::NamePart(sourcePath);
        SourceDir = TkvPath::FolderPart(sourcePath);
    }
    Subdirs = subdirs;

    std::lock_guard guard(threadLock);
    if (!SearchDone && !searchThread.joinable()) {
        searchThread = std::thread([this] { Execute(); });
        searchStarted = true;
    }
}

void TkvBatch::Execute()
{
    try {
        RegExtPattern = regExt;
        if (site)
            SearchSite(*site);
        else
            SearchFolder(SourceDir, Mask, Subdirs, skipHidden);
    } catch (const std::exception &e) {
        if (site && OnNote)
            OnNote(QStringLiteral("The search of %1 ended early: %2").arg(site->Folder(), QString::fromUtf8(e.what())));
    } catch (...) {
        // An error ends the search like its normal end; the workers rely on SearchDone.
    }
    setSearchDone();
}

void TkvBatch::SearchFolder(const QString &folder, const QString &mask, bool subdirs, bool skipHidden)
{
    // Depth first without recursion: a folder's files, then each subfolder completely, in name order.
    std::vector<QString> pending{folder};
    std::set<TkvFileId> visited;
    QStringList files, folders;
    while (!pending.empty() && !Terminated()) {
        const QString current = std::move(pending.back());
        pending.pop_back();
        TkvFileId id;
        int error = 0;
        if (!TkvDirListing::List(current.isEmpty() ? QStringLiteral(".") : current, files, folders, id, &error)) {
            // A folder that vanished, or a Source folder that never existed (or whose name holds a
            // NUL, which only a Source can), holds no pages; one that is there but cannot be listed
            // hides pages the user expects in the archive.
            if (error != ENOENT && error != ENOTDIR && error != EINVAL)
                AddFailedEntry(current, QStringLiteral("Cannot list the folder \"%1\". %2.")
                                            .arg(current, TkvNativeFile::ErrorText(error)));
            continue;
        }
        if (!visited.insert(id).second)
            continue; // reached again through a link
        files.sort();
        for (const QString &name : std::as_const(files)) {
            if (Terminated())
                return;
            if (skipHidden && name.startsWith(u'.'))
                continue;
            if (TkvWildcard::Matches(mask, name))
                AddFile(current + name);
        }
        if (!subdirs)
            continue;
        folders.sort();
        for (auto it = folders.crbegin(); it != folders.crend(); ++it)
            if (!it->startsWith(u'.'))
                pending.push_back(current + *it + u'/');
    }
}

void TkvBatch::SearchSite(const TkvSiteScope &scope)
{
    TkvFetchPolicy policy;
    policy.allowFile = false; // a site's pages never lead to local files
    TkvFetcher fetcher(policy);
    TkvSiteSearchOptions options;
    options.maxPages = maxPages;
    options.connections = connections;
    options.stopRequested = [this] { return Terminated(); };
    if (NameMatcher && !RegExtPattern.isEmpty())
        options.accepts = [this](const QString &url) { return NameMatcher->Match(url, RegExtPattern); };
    TkvSiteSearch search(scope, fetcher, options);
    TkvSiteTargetNames names(scope.FolderUrl().Path(), targetExt);
    search.OnPage = [&](TkvSitePage &&page) {
        const QString targetName = names.Assign(TkvUrl::Parse(page.url).Path());
        if (OnSitePage)
            OnSitePage(page); // before the entry exists, so its conversion finds what was read
        auto entry = std::make_unique<TkvNode>();
        entry->FileName = page.url;
        entry->TargetName = targetName;
        queue(std::move(entry));
    };
    search.OnNote = [this](const QString &text) {
        if (OnNote)
            OnNote(text);
    };
    search.Run();
}

bool TkvBatch::IsSite(const QString &source)
{
    return TkvSiteScope::FromSource(source, false).has_value();
}

bool TkvBatch::Accepts(const QString &path) const
{
    if (!NameMatcher)
        return true;
    // The mask's expression, worked out once per mask and thread.
    thread_local QString lastMask, lastPattern = MaskToRegex(QString());
    if (Mask != lastMask) {
        lastPattern = MaskToRegex(Mask);
        lastMask = Mask;
    }
    bool accepted = NameMatcher->Match(path, lastPattern);
    if (accepted && !RegExtPattern.isEmpty())
        accepted = NameMatcher->Match(path, RegExtPattern);
    return accepted;
}

void TkvBatch::AddFile(const QString &path)
{
    if (!Accepts(path))
        return;
    auto entry = std::make_unique<TkvNode>();
    entry->FileName = path;
    queue(std::move(entry));
}

void TkvBatch::AddFailedEntry(const QString &path, const QString &message)
{
    auto entry = std::make_unique<TkvNode>();
    entry->FileName = path;
    entry->Status = TkvNode::Failure;
    entry->Message = message;
    queue(std::move(entry));
}

void TkvBatch::queue(std::unique_ptr<TkvNode> entry)
{
    TkvNode *node = entry.get();
    {
        std::lock_guard guard(lock);
        entry->Index = static_cast<int>(Nodes.size());
        Nodes.push_back(std::move(entry));
    }
    // Waiting workers are woken at once, which is what the time slice yielded after an append used
    // to achieve with polling workers.
    {
        std::lock_guard guard(waitLock);
        ++changes;
    }
    if (waiters > 0)
        waitSignal.notify_all();
    if (OnNodeAdded)
        OnNodeAdded(*this, *node);
}

void TkvBatch::AddSingleFile(const QString &path)
{
    AddFile(path);
    setSearchDone();
}

void TkvBatch::setSearchDone()
{
    bool first;
    {
        std::lock_guard guard(waitLock);
        first = !SearchDone;
        SearchDone = true;
        ++changes;
    }
    waitSignal.notify_all();
    if (first && OnSearchDone)
        OnSearchDone(*this);
}

TkvNode *TkvBatch::NextNode()
{
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard guard(waitLock);
            seen = changes;
        }
        // SearchDone is read before the queue, so an entry appended just before the end is still seen.
        const bool done = SearchDone;
        {
            std::lock_guard guard(lock);
            if (Cursor < static_cast<int>(Nodes.size()))
                return Nodes[Cursor++].get();
        }
        if (done) {
            Drained = true;
            return nullptr;
        }
        if (terminateRequested && !searchStarted) {
            // Stopped before any search ran: nothing will ever be queued or mark the search done.
            Drained = true;
            return nullptr;
        }
        std::unique_lock wait(waitLock);
        ++waiters;
        waitSignal.wait_for(wait, std::chrono::milliseconds(100), [&] { return changes != seen; });
        --waiters;
    }
}

void TkvBatch::AddSuccess()
{
    std::lock_guard guard(lock);
    ++Successes;
}

void TkvBatch::AddFailure(const QString &text)
{
    std::lock_guard guard(lock);
    ++Failures;
    // A run where every file fails collects one distinct text per file: a scan of Errors per failure
    // would make the run quadratic, all of it under the lock the workers share.
    if (errorKeys.insert(caseFoldedKey(text)).second)
        Errors.append(text);
}

int TkvBatch::NodeCount() const
{
    std::lock_guard guard(lock);
    return static_cast<int>(Nodes.size());
}

int TkvBatch::EntriesLeft() const
{
    std::lock_guard guard(lock);
    return static_cast<int>(Nodes.size()) - Cursor;
}

const std::vector<std::unique_ptr<TkvNode>> &TkvBatch::LockNodes()
{
    lock.lock();
    return Nodes;
}

void TkvBatch::UnlockNodes()
{
    lock.unlock();
}

void TkvBatch::Terminate()
{
    {
        std::lock_guard guard(waitLock);
        terminateRequested = true;
        ++changes;
    }
    waitSignal.notify_all(); // workers waiting in NextNode look again and end
}

void TkvBatch::WaitFor()
{
    std::lock_guard guard(threadLock);
    if (searchThread.joinable() && searchThread.get_id() != std::this_thread::get_id())
        searchThread.join();
}

QString TkvBatch::UrlToPath(const QString &text)
{
    return TkvPath::UrlToPath(text);
}
