#pragma once

#include "kvOptionTable.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <vector>

class TkvConvertorClass; // the converter factory, defined by the conversion layer
class TkvPropList;

/// Asks the user for a file. The window implements it with real dialogs; tests answer it directly.
class TkvChooser
{
public:
    virtual ~TkvChooser() = default;
    /// Shows an open-file chooser. On confirm, sets `path` (several files each followed by CR LF when
    /// `multiple`) and returns true; on cancel leaves `path` unchanged and returns false.
    virtual bool OpenFileDialog(const QString &filter, QString &path, bool multiple) = 0;
    /// Shows a save-file chooser that adds `defaultExt` and asks before replacing a file.
    virtual bool SaveFileDialog(const QString &filter, const QString &defaultExt, QString &path) = 0;
};

/// The current batch project: ordered name=value lines read by key with per-key types and defaults,
/// the project file, the inline command-line options, the recent-projects list and the product
/// descriptor.
///
/// Thread safety: `Options` is guarded by a mutex, so the search and worker threads may call the
/// getters while the window thread changes the project; every getter sees the options either before
/// or after a change. All other members are written by the main thread only (start-up, commands).
class TkvProject
{
public:
    /// Reads the recent-projects list (any failure leaves it empty).
    TkvProject();
    /// Unbinds the controls and writes the recent-projects list (failures are swallowed).
    ~TkvProject();

    // ---- product descriptor (set once at start-up) ----
    const TkvConvertorClass *ConverterClass = nullptr;
    bool TargetFollowsSource = true;
    bool OverwriteDefault = TkvOptionTable::DefaultValue(TkvOption::IsOverwrite) != 0;
    QString ProjectExt;
    QString ProjectFilter;
    QString ShortName;
    QChar PathDelim = QChar('/');
    QString Title;
    QString OpenFilter;
    QString FileMask;
    QString TargetExt;
    QString Version;

    // ---- project state (main thread) ----
    QString ProjectFile;
    QString InlineOptions;
    /// Why the last project file OpenProject tried could not be read (a sentence naming the file and
    /// the cause); empty after a good load or when no project file was opened.
    QString LoadError;
    QStringList RecentFiles;
    TkvChooser *Chooser = nullptr; ///< not owned; may be null (then the asking commands do nothing)

    // ---- options (any thread) ----
    /// The value of the first line whose key is `key` (letter case and blanks around the key ignored),
    /// without the blanks around it; empty when there is none.
    QString GetOption(const QString &key) const;
    void SetOption(const QString &key, const QString &value);
    QString OptionsText() const;              ///< every line followed by CR LF
    void SetOptionsText(const QString &text); ///< split at CR LF, CR or LF
    QStringList OptionLines() const;

    /// The option's text, as GetOption gives it.
    QString Text(TkvOption option) const;
    /// The option's typed value, read by the option table (a boolean as 0 or 1; IsOverwrite 0 keep
    /// both, 1 overwrite, 9 skip, with OverwriteDefault when it does not read); 0 for a text option.
    int Value(TkvOption option) const;
    QString GetSource() const;
    QString GetTarget() const;
    bool GetSubdir() const;
    int GetThreadsCount() const;
    int GetIsOverwrite() const; ///< 0 keep both, 1 overwrite, 9 skip
    bool GetKeepFileTime() const;
    bool GetKeepTargetSubdirs() const;
    bool GetDeleteSource() const;
    QString GetRenameSource() const;
    bool GetPureConsole() const;
    int GetDaemon() const;
    bool GetRunAndClose() const;
    /// `source` as the search takes it: text naming an existing folder without a mask (with or without
    /// a trailing PathDelim, or as a file: URL) becomes that folder followed by PathDelim and FileMask,
    /// so a folder means its pages. Anything else (a page, a mask, a web address, the empty text) is
    /// returned unchanged.
    QString PagesSource(const QString &source) const;
    /// Target followed by PathDelim, after creating the folder it names (a file: URL is taken as its
    /// local path) with its parents; a failure is left for the converters to report. The empty text
    /// when Target is empty (nothing is created then).
    QString GetTargetDir() const;

    // ---- project commands (main thread) ----
    /// Returns false when the process should end at once (the I and U switches).
    bool ParseCommandLine(const QString &firstParam);
    void LoadStartProject();
    void OpenProject(bool silent);
    void NewProject();
    void StoreOptions(bool writeFile); ///< throws std::runtime_error "Cannot create file ..." on failure
    void SaveProject();
    void SaveProjectAs();
    bool IsProjectFile(const QString &path) const;
    void AddRecent();
    QString RecentListPath() const;
    QString DefaultProjectPath() const;

    // ---- control binding (window thread; do nothing while no control is bound) ----
    /// Binds a control whose objectName is a kind letter plus the option key ("eSource") and whose
    /// dynamic property "hint" names the property carrying its value ("Text"). Not owned; a control
    /// destroyed before the store is skipped.
    void BindControl(QObject *control);
    void OptionsToControls();
    void ControlsToOptions();
    /// Sets the dynamic property "tag" of every bound control whose tag is positive back to -1 and
    /// forgets the bound controls.
    void UnbindControls();

    /// Replaces every line at once (the options dialog, tests).
    void SetOptionLines(const QStringList &lines);

private:
    /// A first parameter that was neither a switch nor a project file (a page, folder or address):
    /// the second LoadStartProject (when the window has bound its controls) takes it as Source again
    /// instead of letting the default project replace it.
    QString StartPath;

    /// With TargetFollowsSource and an empty Target, Target becomes the folder of `source`, unless
    /// `source` is a web address.
    void followSource(const QString &source);
    /// The binding of a control: found through its "tag" (index + 1 into PropLists), created on first use.
    TkvPropList *BindingOf(QObject *control);
    void LoadRecent();
    void SaveRecent() const;

    mutable std::mutex optionsLock;
    QStringList Options;
    std::vector<QPointer<QObject>> BoundControls;
    std::vector<std::unique_ptr<TkvPropList>> PropLists; ///< bindings, alive as long as the store
};

/// The one process-wide store, created at start-up; tests create their own and set it.
extern TkvProject *Project;
