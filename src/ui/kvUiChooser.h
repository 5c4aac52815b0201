#pragma once

#include "kvProject.h"

#include <memory>

class TkvDialogSeam;

/// The file and folder choosers of window mode, on top of a dialog seam (real dialogs in the program,
/// scripted answers in tests).
///
/// Filters come in the program's "description|pattern|description|pattern" form with ';' between the
/// patterns of one pair; the first pair is preselected. Paths are POSIX paths.
///
/// Thread rules: window thread only; the remembered start folder is touched only there.
class TkvUiChooser : public TkvChooser
{
public:
    /// Takes ownership of `seam`.
    explicit TkvUiChooser(std::unique_ptr<TkvDialogSeam> seam);
    ~TkvUiChooser() override;

    /// Opens in the folder part of `path`, with the rest of `path` (every "?" turned into "*") as the
    /// proposed name or pattern. On confirm `path` becomes the chosen file, or with `multiple` every
    /// chosen file each followed by CR LF, and the result is true; on cancel `path` is unchanged.
    bool OpenFileDialog(const QString &filter, QString &path, bool multiple) override;
    /// Proposes `path`; asks before replacing a file. The chosen name always ends with `defaultExt`
    /// (appended when the user typed a name without it). On cancel `path` is unchanged.
    bool SaveFileDialog(const QString &filter, const QString &defaultExt, QString &path) override;
    /// Returns the chosen folder (no separator appended), or `start` unchanged on cancel. A non-empty
    /// `start` becomes the remembered start folder and is where the chooser opens.
    QString BrowseForFolder(const QString &start);

    /// The folder the last BrowseForFolder with a start folder remembered.
    static QString RememberedFolder();
    /// Forgets it (at the end of the process).
    static void ClearRememberedFolder();

    /// "HTML File (*.htm;*.html)|*.htm;*.html" -> {"HTML File (*.htm *.html)"}.
    static QStringList ToNameFilters(const QString &filter);

private:
    std::unique_ptr<TkvDialogSeam> seam;
};
