#include "kvUiChooser.h"

#include "kvDialogSeam.h"
#include "kvPath.h"

namespace {

QString rememberedFolder;

QString withoutDot(const QString &ext)
{
    return ext.startsWith(QLatin1Char('.')) ? ext.mid(1) : ext;
}

} // namespace

TkvUiChooser::TkvUiChooser(std::unique_ptr<TkvDialogSeam> seam) : seam(std::move(seam))
{}

TkvUiChooser::~TkvUiChooser() = default;

QStringList TkvUiChooser::ToNameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        const QString pattern = parts[i + 1].trimmed();
        // The description often repeats its patterns in brackets; Qt lists them itself.
        const QString repeated = QLatin1Char('(') + pattern + QLatin1Char(')');
        if (desc.endsWith(repeated))
            desc = desc.chopped(repeated.size()).trimmed();
        QString patterns = pattern;
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << desc + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
    }
    return result;
}

bool TkvUiChooser::OpenFileDialog(const QString &filter, QString &path, bool multiple)
{
    TkvDialogRequest request;
    request.kind = multiple ? TkvDialogRequest::OpenFiles : TkvDialogRequest::OpenFile;
    QString proposed = path;
    proposed.replace(QLatin1Char('?'), QLatin1Char('*'));
    if (!path.isEmpty())
        request.folder = TkvPath::FolderPart(proposed);
    request.fileName = TkvPath::NamePart(proposed);
    request.nameFilters = ToNameFilters(filter);
    const QStringList chosen = seam->Ask(request);
    if (chosen.isEmpty())
        return false;
    if (multiple) {
        QString text;
        for (const QString &file : chosen)
            text += file + QStringLiteral("\r\n");
        path = text;
    } else {
        path = chosen.first();
    }
    return true;
}

bool TkvUiChooser::SaveFileDialog(const QString &filter, const QString &defaultExt, QString &path)
{
    TkvDialogRequest request;
    request.kind = TkvDialogRequest::SaveFile;
    if (!path.isEmpty())
        request.folder = TkvPath::FolderPart(path);
    request.fileName = TkvPath::NamePart(path);
    request.nameFilters = ToNameFilters(filter);
    request.defaultSuffix = withoutDot(defaultExt);
    const QStringList chosen = seam->Ask(request);
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return false;
    // The name ends with the extension exactly as given: a project saved as "a.BATCH-WEB2ARC" could
    // not be opened as a project again.
    const QString dotted = defaultExt.isEmpty() || defaultExt.startsWith(QLatin1Char('.')) ? defaultExt
                                                                                           : QLatin1Char('.') + defaultExt;
    path = TkvPath::WithExtension(chosen.first(), dotted);
    return true;
}

QString TkvUiChooser::BrowseForFolder(const QString &start)
{
    TkvDialogRequest request;
    request.kind = TkvDialogRequest::Folder;
    if (!start.isEmpty()) {
        rememberedFolder = start;
        request.folder = rememberedFolder;
    }
    const QStringList chosen = seam->Ask(request);
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return start;
    return chosen.first();
}

QString TkvUiChooser::RememberedFolder()
{
    return rememberedFolder;
}

void TkvUiChooser::ClearRememberedFolder()
{
    rememberedFolder.clear();
}
