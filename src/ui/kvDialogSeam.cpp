#include "kvDialogSeam.h"

#include "kvPath.h"

#include <QFileDialog>

namespace {

/// A save dialog that completes the name with the default suffix before QFileDialog checks for an
/// existing file, so "a.txt" with the suffix "log" is asked about (and written as) "a.txt.log", and
/// "a.LOG" as "a.log".
class TkvSaveDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList files = selectedFiles();
        const QString suffix = defaultSuffix();
        if (files.size() == 1 && !suffix.isEmpty() && !QFileInfo(files[0]).isDir()) {
            const QString named = TkvPath::WithExtension(files[0], QLatin1Char('.') + suffix);
            if (named != files[0])
                selectFile(named);
        }
        QFileDialog::accept();
    }
};

} // namespace

QStringList TkvQtDialogs::Ask(const TkvDialogRequest &request)
{
    TkvSaveDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    switch (request.kind) {
    case TkvDialogRequest::OpenFile:
        dialog.setFileMode(QFileDialog::ExistingFile);
        break;
    case TkvDialogRequest::OpenFiles:
        dialog.setFileMode(QFileDialog::ExistingFiles);
        break;
    case TkvDialogRequest::SaveFile:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(request.defaultSuffix);
        break;
    case TkvDialogRequest::Folder:
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        break;
    }
    QStringList filters = request.nameFilters;
    const bool pattern = request.fileName.contains(QLatin1Char('*')) || request.fileName.contains(QLatin1Char('?'));
    if (pattern && request.kind != TkvDialogRequest::SaveFile)
        filters.prepend(request.fileName); // a wildcard name filters the listing, as typed into the name box
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    if (!pattern && !request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}
