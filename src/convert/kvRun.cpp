#include "kvRun.h"

#include "VBScriptRegex.h"
#include "kvBatch.h"
#include "kvConvertor.h"
#include "kvEngineParts.h"
#include "kvFileError.h"
#include "kvFileName.h"
#include "kvInfo.h"
#include "kvMainThreadInvoker.h"
#include "kvNativeFile.h"
#include "kvPath.h"
#include "kvRenderClient.h"
#include "kvRunContext.h"
#include "kvTextFile.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <cstdio>

TkvRun::TkvRun(TkvRunOptions runOptions, TkvRunObserver &observer, TkvMainThreadInvoker *mainThread)
    : options(std::move(runOptions)), observer(observer), mainThread(mainThread),
      engine(std::make_shared<TkvEngineParts>()), job(std::make_unique<TkvBatch>(options))
{
    job->OnNodeAdded = [this](TkvBatch &, TkvNode &entry) { this->observer.EntryAdded(*this, entry); };
    job->OnSearchDone = [this](TkvBatch &) { this->observer.SearchFinished(*this); };
    job->OnSitePage = [this](const TkvSitePage &page) { keepSitePage(page); };
    job->OnNote = [this](const QString &text) { note(text); };
}

TkvRun::~TkvRun()
{
    alive.reset();
    Stop();
    // No converter may outlive the job it takes entries from, nor the observer it reports to.
    while (context && !context->WaitUntilNoneRunning(std::chrono::milliseconds(100))) {
    }
    chain.reset();
    job.reset(); // ends and joins the search thread
}

void TkvRun::Search(const QString &searchSource, const QString &target, bool subdirs)
{
    source = searchSource;
    // Seen before the search starts: with an empty Target the source's folder is the target, and
    // the search creates it.
    const QString folder = TkvPath::FolderPart(TkvPath::UrlToPath(source));
    sourceFolderMissing = !TkvFileName::IsDir(folder.isEmpty() ? QStringLiteral("./") : folder);
    job->StartSearch(source, target, subdirs);
}

void TkvRun::AddSingleFile(const QString &path)
{
    job->AddSingleFile(path);
}

void TkvRun::Convert(const TkvRunOptions &chainOptions, const QString &target)
{
    // The page renderer is a browser engine in a helper process: only a run that asks for scripts
    // starts it, and each chain gets its own, since a stopped renderer takes no more pages.
    std::shared_ptr<TkvPageRenderer> renderer;
    if (chainOptions.Boolean(TkvOption::RunScripts))
        renderer = std::make_shared<TkvRenderClient>();
    context = std::make_shared<TkvRunContext>(chainOptions, engine, std::move(renderer));
    context->OnAllEnded = [this] { chainEnded(); };
    chain = TkvConvertor::CreateChain(
        job.get(), target, [this](TkvBatch &, TkvNode &entry) { entryDone(entry); }, context);
    converting = true;
    chainStarted = std::chrono::steady_clock::now();
    chain->Start();
    if (Info)
        Info->AddCounter(QStringLiteral("C"), 1);
}

void TkvRun::Pause()
{
    if (chain)
        chain->Stop();
}

void TkvRun::Stop()
{
    job->Terminate();
    Pause();
    // A page may keep the renderer for its whole limit; stopping ends such pages at once.
    if (context && context->Renderer)
        context->Renderer->Stop();
}

void TkvRun::Interrupt(const QString &cause)
{
    interruption = cause;
    Stop();
}

int TkvRun::ConvertorsRunning() const
{
    return context ? context->Running() : 0;
}

void TkvRun::entryDone(TkvNode &entry)
{
    if (entry.Status == TkvNode::Success && entry.Message.isEmpty())
        ++skipped; // its archive was there and IsOverwrite said skip
    const QString line = ResultLine(entry);
    {
        std::lock_guard guard(resultsLock);
        results.append(line);
    }
    observer.EntryDone(*this, entry);
}

void TkvRun::keepSitePage(const TkvSitePage &page)
{
    auto part = std::make_shared<TkvCachedPart>();
    part->url = page.url;
    part->bytes = page.result.body;
    part->contentType = page.result.contentType;
    part->finalUrl = page.result.finalUrl;
    part->fetchedAt = page.result.fetchedAt.isValid() ? page.result.fetchedAt : QDateTime::currentDateTimeUtc();
    engine->ResourceCache.Insert(std::move(part)); // a page larger than the cache is read again
}

void TkvRun::note(const QString &text)
{
    {
        std::lock_guard guard(resultsLock);
        notes.append(text);
    }
    const QByteArray line = "web2arc: " + text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

QStringList TkvRun::Notes() const
{
    std::lock_guard guard(resultsLock);
    return notes;
}

void TkvRun::chainEnded()
{
    // On the last converter's thread: the end of the run belongs to the main thread.
    if (!mainThread)
        return; // Wait finishes the run
    mainThread->Post([this, alive = std::weak_ptr<int>(alive)] {
        if (alive.lock())
            finish();
    });
}

void TkvRun::Wait(const std::function<void()> &tick)
{
    while (context && !context->WaitUntilNoneRunning(std::chrono::milliseconds(100))) {
        if (tick)
            tick();
    }
    finish();
}

void TkvRun::finish()
{
    if (!converting)
        return;
    converting = false;
    busy += std::chrono::steady_clock::now() - chainStarted;
    chain.reset(); // every member has ended
    if (context && context->Renderer)
        context->Renderer->Stop(); // its helper has nothing left to do: let its memory go now
    if (Info) {
        Info->AddCounter(QStringLiteral("A"), job->NodeCount());
        Info->AddCounter(QStringLiteral("S"), job->Successes);
        Info->AddCounter(QStringLiteral("F"), job->Failures);
        if (job->Failures > 0 && options.Boolean(TkvOption::Reports)) {
            QStringList errors;
            {
                std::lock_guard guard(job->NodesLock());
                errors = job->Errors;
            }
            Info->OpenLink(QString(), FailureAction(errors), QString());
        }
    }
    if (!LogFile.isEmpty()) {
        QStringList lines = Results();
        if (!interruption.isEmpty())
            lines.append(QStringLiteral("Interrupted => %1 => The run was stopped; pages not listed above were "
                                        "not converted.")
                             .arg(LogText(interruption)));
        WriteLog(LogFile, lines);
    }
    observer.RunFinished(*this);
}

QString TkvRun::NothingFound(bool &error) const
{
    error = true;
    if (source.trimmed().isEmpty())
        return QStringLiteral("no pages found: no Source was given");
    const QString folder = job->SourceDir.isEmpty() ? QStringLiteral("./") : job->SourceDir;
    if (source.contains(QChar(0)))
        return QStringLiteral("no pages found: Source holds a NUL character, which no file name can hold");
    const bool site = TkvBatch::IsSite(source); // its folder is an address: what went wrong is in the notes
    if (!site && (sourceFolderMissing || !TkvFileName::IsDir(folder))) {
        if (TkvPath::IsWebAddress(source))
            return QStringLiteral("no pages found: Source %1 is no folder here, and a web address is converted "
                                  "only when its scheme is written in lower case (http:// or https://)")
                .arg(source);
        return QStringLiteral("no pages found: the folder %1 does not exist").arg(folder);
    }
    const bool wildcard = job->Mask.contains(u'*') || job->Mask.contains(u'?');
    if (!site && !wildcard && !TkvFileName::Exists(folder + job->Mask))
        return QStringLiteral("no pages found: %1 does not exist").arg(folder + job->Mask);
    error = false;
    QString text = QStringLiteral("no pages found in %1 matching %2").arg(folder, job->Mask);
    if (!job->RegExtPattern.isEmpty())
        text += QStringLiteral(" and RegExt %1").arg(job->RegExtPattern);
    return text;
}

QString TkvRun::SearchReport() const
{
    const int found = job->NodeCount();
    bool error = false;
    QString text = found > 0 ? QStringLiteral("%1 %2 found.").arg(QLocale(QLocale::English).toString(found),
                                                                   found == 1 ? QStringLiteral("page")
                                                                              : QStringLiteral("pages"))
                             : NothingFound(error) + QLatin1Char('.');
    const QString regExt = RegExtProblem(options.Text(TkvOption::RegExt));
    if (!regExt.isEmpty())
        text += QLatin1Char(' ') + regExt + QLatin1Char('.');
    return text;
}

QString TkvRun::Summary(const QString &logFile) const
{
    const QLocale numbers(QLocale::English);
    const double seconds = std::chrono::duration<double>(busy).count();
    QString text = QStringLiteral("%1 converted, %2 skipped, %3 failed in %4 s")
                       .arg(numbers.toString(int(job->Successes)), numbers.toString(int(skipped)),
                            numbers.toString(int(job->Failures)), QString::number(seconds, 'f', 1));
    if (!logFile.isEmpty())
        text += QStringLiteral("; log: ") + logFile;
    return text;
}

QString TkvRun::RegExtProblem(const QString &pattern)
{
    if (pattern.isEmpty())
        return QString();
    try {
        Regex::Build(pattern, Regex::IgnoreCaseOption);
    } catch (const ERegexException &e) {
        return QStringLiteral("RegExt %1 is not a valid regular expression (%2), so it lets every page pass")
            .arg(pattern, QString::fromUtf8(e.what()));
    }
    return QString();
}

QStringList TkvRun::Results() const
{
    std::lock_guard guard(resultsLock);
    return results;
}

QString TkvRun::StatusWord(int status)
{
    switch (status) {
    case TkvNode::Success:
        return QStringLiteral("Success");
    case TkvNode::Failure:
        return QStringLiteral("Failure");
    default:
        return QStringLiteral("Running");
    }
}

QString TkvRun::ResultLine(const TkvNode &entry)
{
    return QStringLiteral("%1 => %2 => %3")
        .arg(StatusWord(entry.Status), LogText(entry.FileName), LogText(entry.Message));
}

QString TkvRun::ListLine(int status, const QString &file, const QString &result)
{
    return QStringLiteral("[%1] => %2 => %3").arg(StatusWord(status), LogText(file), LogText(result));
}

QString TkvRun::LogText(const QString &text)
{
    const auto plain = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0x20 && u != 0x7F && !(u >= 0x80 && u <= 0x9F) && u != 0x2028 && u != 0x2029;
    };
    if (std::all_of(text.cbegin(), text.cend(), plain))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (plain(c))
            out += c;
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\t')
            out += QLatin1String("\\t");
        else if (u < 0x100)
            out += QLatin1String("\\x") + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            out += QLatin1String("\\u") + QString::number(u, 16).toUpper();
    }
    return out;
}

void TkvRun::MakeLogFolder(const QString &path)
{
    const QString folder = TkvPath::FolderPart(path);
    if (folder.isEmpty() || TkvFileName::IsDir(folder))
        return;
    errno = 0;
    if (!TkvFileName::MakePath(folder)) {
        const int cause = errno ? errno : ENOTDIR;
        throw TkvFileError(QStringLiteral("Cannot create the folder \"%1\" of the log file \"%2\". %3.")
                               .arg(folder, path, TkvNativeFile::ErrorText(cause)),
                           cause);
    }
}

void TkvRun::WriteLog(const QString &path, const QStringList &lines)
{
    const QByteArray bytes = TkvTextFile::Encode(lines);
    const auto status = TkvNativeFile::StatusOf(path);
    if (status && status->kind == TkvFileStatus::Kind::Other)
        TkvTextFile::WriteBytes(path, bytes, true); // a device or pipe: it cannot be replaced, only written
    else
        TkvTextFile::ReplaceBytes(path, bytes, false);
}

QString TkvRun::CommaText(const QStringList &items)
{
    QStringList out;
    out.reserve(items.size());
    for (const QString &item : items) {
        const bool quote = std::any_of(item.cbegin(), item.cend(), [](QChar c) {
            return c.unicode() < 33 || c == QLatin1Char(',') || c == QLatin1Char('"');
        });
        if (quote) {
            QString inner = item;
            inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            out.append(QLatin1Char('"') + inner + QLatin1Char('"'));
        } else {
            out.append(item);
        }
    }
    return out.join(QLatin1Char(','));
}

QString TkvRun::FailureAction(const QStringList &errors)
{
    // The text travels as UTF-8 in the address handed to the opener. A run with thousands of distinct
    // failures would make an address longer than a program argument may be (and than web servers
    // take), so the report stops at whole texts once it is long enough and says how many it left out.
    // Escaping works character by character, so the escaped items joined by "," are the escaped
    // comma text of the whole list.
    const auto escaped = [](const QString &item) { return TkvInfo::ReportText(CommaText({item})); };
    QStringList kept;
    qsizetype length = 0;
    for (const QString &error : errors) {
        QString item = escaped(error);
        length += item.size() + 1;
        if (length > MaxFailureReportLength && !kept.isEmpty())
            break;
        kept.append(std::move(item));
    }
    if (kept.size() < errors.size())
        kept.append(escaped(QStringLiteral("(and %1 more)").arg(errors.size() - kept.size())));
    return QStringLiteral("err&e=") + kept.join(QLatin1Char(','));
}
