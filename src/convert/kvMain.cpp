#include "kvMain.h"

#include "kvBatch.h"
#include "kvConsole.h"
#include "kvConvertor.h"
#include "kvEngineParts.h"
#include "kvInfo.h"
#include "kvPath.h"
#include "kvProject.h"
#include "kvRunContext.h"
#include "kvTextFile.h"

#include <QDir>

TkvMain *Main = nullptr;

TkvMain::TkvMain() = default;

TkvMain::~TkvMain() = default;

QString TkvMain::StatusWord(int status)
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

QString TkvMain::ResultLine(const TkvNode &entry)
{
    return QStringLiteral("%1 => %2 => %3").arg(StatusWord(entry.Status), entry.FileName, entry.Message);
}

QString TkvMain::CommaText(const QStringList &items)
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

QString TkvMain::FailureAction(const QStringList &errors)
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

void TkvMain::WriteLog(const QString &path, const QStringList &lines)
{
    TkvTextFile::WriteBytes(path, TkvTextFile::Encode(lines), false);
}

void TkvMain::AddResult(TkvBatch &, TkvNode &entry)
{
    const QString line = ResultLine(entry);
    std::lock_guard<std::mutex> guard(resultsLock);
    Results.append(line);
}

void TkvMain::Run()
{
    {
        std::lock_guard<std::mutex> guard(resultsLock);
        Results.clear();
    }
    const TkvRunOptions options = TkvRunOptions::Take(*Project);
    Batch = std::make_unique<TkvBatch>(options);
    EngineParts = std::make_shared<TkvEngineParts>();
    const bool subdir = options.Boolean(TkvOption::Subdir);
    QString target = Project->GetTargetDir();
    const QString source = options.Text(TkvOption::Source);
    if (target.isEmpty()) {
        // No target: every archive goes beside its source, so the source's folder is the target; a web
        // address's archive goes to the current folder, as a download does.
        if (!TkvPath::IsWebAddress(source))
            target = TkvPath::FolderPart(TkvBatch::UrlToPath(source));
        if (target.isEmpty())
            target = QDir::currentPath() + QLatin1Char('/');
    }
    Batch->StartSearch(source, target, subdir);
    // Every converter counts itself in RunningConvertors from its creation until its run has ended.
    Convertor = TkvConvertor::CreateChain(
        Batch.get(), target, [this](TkvBatch &batch, TkvNode &entry) { AddResult(batch, entry); },
        std::make_shared<TkvRunContext>(options, EngineParts));
    Convertor->Start();
    if (Info)
        Info->AddCounter(QStringLiteral("C"), 1);
    WaitForConvertors();
    Convertor.reset(); // every converter has ended
    Summarize();
}

void TkvMain::WaitForConvertors()
{
    const bool terminal = TkvConsole::StderrIsTerminal();
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (RunningConvertors.load() <= 0)
            break;
        if (terminal)
            ShowProgress(true, start);
        // The last converter wakes this at once; meanwhile the progress line is redrawn every 100 ms.
        if (TkvConvertor::WaitUntilNoneRunning(std::chrono::milliseconds(100)))
            break;
    }
    if (terminal)
        TkvConsole::ClearProgress();
}

void TkvMain::ShowProgress(bool terminal, std::chrono::steady_clock::time_point start)
{
    if (!terminal)
        return;
    const int done = Batch->Successes + Batch->Failures;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const QString rate = seconds > 0.5 ? QString::number(done / seconds, 'f', 1) : QStringLiteral("-");
    TkvConsole::ShowProgress(QStringLiteral("web2arc: %1 found, %2 converted, %3 failed, %4 files/s")
                                 .arg(Batch->NodeCount())
                                 .arg(int(Batch->Successes))
                                 .arg(int(Batch->Failures))
                                 .arg(rate));
}

void TkvMain::Summarize()
{
    if (Info) {
        Info->AddCounter(QStringLiteral("A"), Batch->NodeCount());
        Info->AddCounter(QStringLiteral("S"), Batch->Successes);
        Info->AddCounter(QStringLiteral("F"), Batch->Failures);
        if (Batch->Failures > 0)
            Info->OpenLink(QString(), FailureAction(Batch->Errors), QString());
    }
    const QString logFile = Project->Text(TkvOption::LogFile);
    if (!logFile.isEmpty()) {
        QStringList lines;
        {
            std::lock_guard<std::mutex> guard(resultsLock);
            lines = Results;
        }
        WriteLog(logFile, lines);
    }
}
