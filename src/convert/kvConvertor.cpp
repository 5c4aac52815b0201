#include "kvConvertor.h"

#include "kvBatch.h"
#include "kvFileName.h"
#include "kvFileTimes.h"
#include "kvPath.h"
#include "kvRunContext.h"

#include <algorithm>
#include <vector>

namespace {

// The relative target name of a web address: the text after the scheme's ':' with every separator
// and colon made an underscore (http://srv/dir/page.htm gives __srv_dir_page.htm).
QString webAddressName(const QString &address)
{
    QString name = address.mid(address.indexOf(u':') + 1);
    for (QChar &c : name)
        if (c == u'/' || c == u'\\' || c == u':')
            c = u'_';
    return name;
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
    std::shared_ptr<TkvConvertor> head =
        convertorClass.Create(batch, context->Options.Integer(TkvOption::ThreadsCount), resultCallback);
    for (TkvConvertor *member = head.get(); member; member = member->NextConvertor.get())
        member->join(context);
    return head;
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

void TkvConvertor::InitChain(const TkvConvertorClass &convertorClass, int chainCount,
                             const TkvNodeEvent &resultCallback)
{
    ResultCallback = resultCallback;
    ChainCount = std::max(1, chainCount);
    if (chainCount > 1)
        NextConvertor = convertorClass.Create(Batch, chainCount - 1, resultCallback);
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
    if (!failure.isEmpty()) {
        {
            std::lock_guard guard(Batch->NodesLock());
            node.Status = TkvNode::Failure;
            node.Message = failure;
        }
        Batch->AddFailure(failure);
    }
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
    if (source.startsWith(QLatin1String("http"), Qt::CaseInsensitive) && source.contains(u':'))
        relative = webAddressName(source);
    else if (Options().Boolean(TkvOption::KeepTargetSubdirs) && !batch.SourceDir.isEmpty() &&
             source.startsWith(batch.SourceDir))
        relative = source.mid(batch.SourceDir.size());
    else
        relative = TkvPath::NamePart(source);

    QString target = batch.TargetDir;
    if (!target.isEmpty() && !target.endsWith(u'/'))
        target += u'/';
    target += relative;

    // The extension starts at the last dot of the name part.
    const QString &ext = Options().TargetExt;
    const qsizetype nameStart = target.lastIndexOf(u'/') + 1;
    const qsizetype dot = target.lastIndexOf(u'.');
    if (dot >= nameStart)
        target.truncate(dot);
    target += ext;

    target = AdjustTargetName(target);

    const QString folder = TkvPath::FolderPart(target);
    if (!folder.isEmpty() && !TkvFileName::IsDir(folder) && !TkvFileName::MakePath(folder)) {
        const QString failure = QStringLiteral("CreateDir Failed: ") + folder;
        {
            std::lock_guard guard(batch.NodesLock());
            node.Status = TkvNode::Failure;
            node.Message = failure;
        }
        batch.AddFailure(failure);
        return QString();
    }

    if (!TkvFileName::Exists(target))
        return target;
    switch (Options().Integer(TkvOption::IsOverwrite)) {
    case 9: { // skip
        std::lock_guard guard(batch.NodesLock());
        node.Status = TkvNode::Success;
        return QString();
    }
    case 0: // keep both: the tagged name beside it, replaced when it exists too
        return folder + u'-' + Options().ShortName + u'-' + TkvPath::NamePart(target);
    default:
        return target;
    }
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
