#pragma once

#include <QString>
#include <QStringList>

class QWidget;

/// What a chooser asks of the user: the one place where file and folder dialogs are shown. The window
/// uses `TkvQtDialogs`; tests install their own seam that answers at once, so no dialog ever shows.
struct TkvDialogRequest
{
    enum Kind
    {
        OpenFile,  ///< one existing file
        OpenFiles, ///< one or more existing files
        SaveFile,  ///< a file name to write, with an overwrite prompt
        Folder     ///< an existing folder
    };
    Kind kind = OpenFile;
    QString folder;          ///< initial folder; empty: the dialog's own choice
    QString fileName;        ///< initial name (may hold a wildcard pattern for the open kinds)
    QStringList nameFilters; ///< Qt form: "desc (pattern pattern)"; the first one is preselected
    QString defaultSuffix;   ///< without the dot; SaveFile only
};

/// Shows one dialog. Returns the chosen absolute paths; an empty list means the user cancelled.
/// Window thread only.
class TkvDialogSeam
{
public:
    virtual ~TkvDialogSeam() = default;
    virtual QStringList Ask(const TkvDialogRequest &request) = 0;
};

/// The real dialogs (Qt's own file dialog, so the rules below hold on every desktop): modal, owned by
/// `parent`. A save dialog puts the default suffix on a name that lacks it before the overwrite prompt
/// is asked, so the prompt concerns the file that will really be written.
class TkvQtDialogs : public TkvDialogSeam
{
public:
    explicit TkvQtDialogs(QWidget *parent) : parent(parent) {}
    QStringList Ask(const TkvDialogRequest &request) override;

private:
    QWidget *parent;
};
