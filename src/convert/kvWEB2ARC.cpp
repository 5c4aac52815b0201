#include "kvWEB2ARC.h"

#include "kvBatch.h"
#include "kvEngineParts.h"
#include "kvMhtMessage.h"
#include "kvRunOptions.h"
#include "kvScriptedPage.h"
#include "kvUrl.h"

TkvWEB2ARC::TkvWEB2ARC(TkvBatch *batch) : TkvConvertor(batch)
{}

const TkvConvertorClass &TkvWEB2ARC::Class()
{
    static const TkvConvertorClassOf<TkvWEB2ARC> instance;
    return instance;
}

QString TkvWEB2ARC::SourceUrl(const QString &path)
{
    if (path.startsWith(QLatin1String("http:"), Qt::CaseInsensitive) ||
        path.startsWith(QLatin1String("https:"), Qt::CaseInsensitive))
        return path;
    return TkvUrl::FromLocalPath(path);
}

QString TkvWEB2ARC::GetCharset() const
{
    return Options().Text(TkvOption::Charset);
}

void TkvWEB2ARC::Convert(TkvBatch &batch, TkvNode &node)
{
    const QString target = ComputeTargetPath(batch, node);
    if (target.isEmpty())
        return; // skipped, or its folder could not be made: ComputeTargetPath has set the outcome
    const QString address = SourceUrl(node.FileName);
    try {
        TkvEngineParts *parts = EngineParts();
        TkvMhtMessage message(parts ? &parts->ResourceCache : nullptr, parts ? &parts->CssReferences : nullptr);
        message.MimeFormatted = true;
        if (TkvPageRenderer *renderer = Renderer())
            message.FetcherFactory = TkvScriptedPage::Factory(*renderer);
        const QString charset = GetCharset();
        if (!charset.isEmpty())
            message.BodyPart().Charset = charset;
        message.CreateMHTMLBody(address, mhtSuppressNone, QString(), QString());
        message.GetStream().SaveToFile(target, 2);
        PostProcess(batch, node, target);
        {
            std::lock_guard guard(batch.NodesLock()); // readers on other threads take the job's lock
            node.Message = target;
            node.Status = TkvNode::Success;
        }
        batch.AddSuccess();
    } catch (const std::exception &e) {
        const QString text = QString::fromUtf8(e.what());
        {
            std::lock_guard guard(batch.NodesLock());
            node.Message = text;
            node.Status = TkvNode::Failure;
        }
        batch.AddFailure(text);
    }
}
