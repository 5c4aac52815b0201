#include "kvConvertor.h"

#include "kvAtomicFile.h"
#include "kvBatch.h"
#include "kvFileName.h"
#include "kvFileTimes.h"
#include "kvPath.h"
#include "kvRunContext.h"

#include <algorithm>
#include <vector>

namespace {

// The relative target name of a web address, its extension already taken off: the text after the
// scheme's ':' with every separator and colon made an underscore (http://srv/dir/page.htm gives
// __srv_dir_page). Only the last segment of the path has an extension, never the host
// (http://127.0.0.1/x gives __127.0.0.1_x), and the query stays, so that addresses that fetch
// different documents get different names; the fragment does not change the document and is left out.
QString webAddressStem(const QString &address)
{
    QString rest = address.mid(address.indexOf(u':') + 1);
    rest.truncate(rest.indexOf(u'#') < 0 ? rest.size() : rest.indexOf(u'#'));
    const qsizetype queryStart = rest.indexOf(u'?') < 0 ? rest.size() : rest.indexOf(u'?');
    const auto isSlash = [](QChar c) { return c == u'/' || c == u'\\'; };
    // The path begins at the first slash after the "//" and the host.
    qsizetype pathStart = 0;
    while (pathStart < queryStart && isSlash(rest.at(pathStart)))
        ++pathStart;
    while (pathStart < queryStart && !isSlash(rest.at(pathStart)))
        ++pathStart;
    qsizetype segmentStart = pathStart;
    for (qsizetype i = pathStart; i < queryStart; ++i)
        if (isSlash(rest.at(i)))
            segmentStart = i + 1;
    const qsizetype dot = queryStart > 0 ? rest.lastIndexOf(u'.', queryStart - 1) : -1;
    if (dot >= segmentStart && segmentStart > pathStart)
        rest.remove(dot, queryStart - dot);
    for (QChar &c : rest)
        if (isSlash(c) || c == u':')
            c = u'_';
    return rest;
}

} // namespace

TkvConvertor::TkvConvertor(TkvBatch *batch) : TkvWorkBase(batch)
{}

TkvConvertor::~TkvConvertor()
{
    if (counted.exchange(false))
        context->Ended(); // joined but never run
    // Let go of the rest of the chain one member at a time, not by nested destructors.
    std::shared_ptr<TkvConvertor> next = std::move(NextConvertor);
    while (next && next.use_count() == 1) {
        std::shared_ptr<TkvConvertor> after = std::move(next->NextConvertor);
        next.reset();
        next = std::move(after);
    }
}

const TkvConvertorClass &TkvConvertor::Class()
{
    static const TkvConvertorClassOf<TkvConvertor> plain;
    return plain;
}

std::shared_ptr<TkvConvertor> TkvConvertor::CreateChain(TkvBatch *batch, const QString &targetDir,
                                                        const TkvNodeEvent &resultCallback,
                                                        std::shared_ptr<TkvRunContext> context)
{
    if (!context)
        context = std::make_shared<TkvRunContext>(TkvRunOptions());
    batch->TargetDir = TkvPath::UrlToPath(targetDir);
    const TkvConvertorClass &convertorClass =
        context->Options.ConverterClass ? *context->Options.ConverterClass : Class();
    const int length = chainLength(*batch, context->Options.Integer(TkvOption::ThreadsCount));
    std::shared_ptr<TkvConvertor> head = convertorClass.Create(batch, length, resultCallback);
    head->join(context);
    TkvConvertor *last = head.get();
    for (int count = length - 1; count >= 1; --count) {
        last->NextConvertor = convertorClass.Create(batch, count, resultCallback);
        last = last->NextConvertor.get();
        last->join(context);
    }
    return head;
}

int TkvConvertor::chainLength(TkvBatch &batch, int threadsCount)
{
    int length = std::clamp(threadsCount, 1, MaxChainLength);
    if (batch.IsSearchDone()) // no entry will come that is not queued now
        length = std::min(length, std::max(1, batch.EntriesLeft()));
    return length;
}

void TkvConvertor::join(std::shared_ptr<TkvRunContext> runContext)
{
    context = std::move(runContext);
    context->Joined();
    counted = true;
}

const TkvRunOptions &TkvConvertor::Options() const
{
    static const TkvRunOptions defaults;
    return context ? context->Options : defaults;
}

TkvEngineParts *TkvConvertor::EngineParts() const
{
    return context ? context->Engine.get() : nullptr;
}

TkvPageRenderer *TkvConvertor::Renderer() const
{
    return context ? context->Renderer.get() : nullptr;
}

void TkvConvertor::InitChain(int chainCount, const TkvNodeEvent &resultCallback)
{
    ResultCallback = resultCallback;
    ChainCount = std::max(1, chainCount);
}

void TkvConvertor::Start()
{
    // Each link is taken before its converter is resumed; the chain owns every member, so a member
    // that ends at once stays valid.
    for (TkvConvertor *member = this; member; member = member->NextConvertor.get())
        member->Resume();
}

void TkvConvertor::Stop()
{
    std::vector<TkvConvertor *> members;
    for (TkvConvertor *member = this; member; member = member->NextConvertor.get())
        members.push_back(member);
    for (auto it = members.rbegin(); it != members.rend(); ++it)
        (*it)->Terminate();
}

void TkvConvertor::ProcessEntry()
{
    TkvNode &node = *CurrentEntry;
    QString failure;
    if (node.Status == TkvNode::Failure) {
        // Queued as failed by the search (a folder it could not list): reported, never converted.
        Batch->AddFailure(node.Message);
        if (ResultCallback)
            ResultCallback(*Batch, node);
        return;
    }
    try {
        Convert(*Batch, node);
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = QStringLiteral("The conversion of \"%1\" failed with an unknown error.").arg(node.FileName);
    }
    if (!failure.isEmpty())
        failEntry(*Batch, node, failure);
    if (ResultCallback)
        ResultCallback(*Batch, node);
}

void TkvConvertor::Convert(TkvBatch &, TkvNode &)
{}

QString TkvConvertor::AdjustTargetName(const QString &path)
{
    return path;
}

void TkvConvertor::DoTerminate()
{
    // The last access to anything shared: once the context's count is zero the run may free the job.
    if (counted.exchange(false))
        context->Ended();
}

QString TkvConvertor::ComputeTargetPath(TkvBatch &batch, TkvNode &node)
{
    const QString &source = node.FileName;
    QString relative;
    const bool webAddress = source.startsWith(QLatin1String("http"), Qt::CaseInsensitive) && source.contains(u':');
    const bool named = !node.TargetName.isEmpty(); // a site's page: named by the search, extension included
    if (named)
        relative = node.TargetName;
    else if (webAddress)
        relative = webAddressStem(source);
    else if (Options().Boolean(TkvOption::KeepTargetSubdirs) && !batch.SourceDir.isEmpty() &&
             source.startsWith(batch.SourceDir))
        relative = source.mid(batch.SourceDir.size());
    else
        relative = TkvPath::NamePart(source);

    QString target = batch.TargetDir;
    if (!target.isEmpty() && !target.endsWith(u'/'))
        target += u'/';
    target += relative;

    if (!named) {
        // The extension starts at the last dot of the name part.
        const qsizetype nameStart = target.lastIndexOf(u'/') + 1;
        const qsizetype dot = target.lastIndexOf(u'.');
        if (dot >= nameStart && !webAddress)
            target.truncate(dot);
        target += Options().TargetExt;
    }

    target = AdjustTargetName(target);

    const QString folder = TkvPath::FolderPart(target);
    if (!folder.isEmpty() && !TkvFileName::IsDir(folder) && !TkvFileName::MakePath(folder)) {
        failEntry(batch, node, QStringLiteral("CreateDir Failed: ") + folder);
        return QString();
    }
    if (batch.TargetClaims.FirstUseOf(folder))
        TkvAtomicFile::RemoveLeftovers(folder.isEmpty() ? QStringLiteral(".") : folder);

    return chooseTarget(batch, node, target);
}

QString TkvConvertor::chooseTarget(TkvBatch &batch, TkvNode &node, const QString &target)
{
    const QString &ext = Options().TargetExt;
    const int overwrite = Options().Integer(TkvOption::IsOverwrite);
    // A path another page of this run was given is never used again (a.htm and a.html both make a.mht).
    const QString path = batch.TargetClaims.Claim(target, ext);
    const bool exists = TkvFileName::Exists(path);
    if (exists && TkvFileName::SameFile(node.FileName, path)) {
        failEntry(batch, node,
                  QStringLiteral("Cannot convert \"%1\" onto itself: its archive would replace the page.")
                      .arg(node.FileName));
        return QString();
    }
    if (!exists)
        return path;
    switch (overwrite) {
    case 9: { // skip
        std::lock_guard guard(batch.NodesLock());
        node.Status = TkvNode::Success;
        return QString();
    }
    case 0: // keep both: the tagged name beside it, or the first numbered form of that which is free,
            // so that nothing is ever replaced
        return batch.TargetClaims.Claim(TkvPath::FolderPart(path) + u'-' + Options().ShortName + u'-' +
                                            TkvPath::NamePart(path),
                                        ext, [](const QString &candidate) { return TkvFileName::Exists(candidate); });
    default:
        return path;
    }
}

void TkvConvertor::failEntry(TkvBatch &batch, TkvNode &node, const QString &failure)
{
    {
        std::lock_guard guard(batch.NodesLock());
        node.Status = TkvNode::Failure;
        node.Message = failure;
    }
    batch.AddFailure(failure);
}

void TkvConvertor::PostProcess(TkvBatch &, TkvNode &node, const QString &targetPath)
{
    const TkvRunOptions &options = Options();
    const QString &source = node.FileName;
    if (options.Boolean(TkvOption::KeepFileTime))
        TkvFileTimes::Copy(source, targetPath);
    if (options.Boolean(TkvOption::DeleteSource))
        TkvFileName::Remove(source);
    const QString suffix = options.Text(TkvOption::RenameSource);
    if (!suffix.isEmpty() && TkvFileName::Exists(source))
        TkvFileName::RenameNoReplace(source, source + suffix); // a file of that name is kept, and the source too
}
