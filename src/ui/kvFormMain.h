#pragma once

#include "kvDialogSeam.h"
#include "kvFormBase.h"

#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QModelIndex;
class QPushButton;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeView;
class TkvBatch;
class TkvResultModel;
class TkvRunView;
class TkvUiChooser;
class TkvWindowInvoker;

/// The main window: source and target rows, the tool bar with the project and information commands,
/// and the result list over the current batch job, with the run control (Search, Convert, Start,
/// Pause, Stop, the finish and the unattended end of a run).
///
/// Creation binds eSource, cSubdir and eTarget to the options store, loads the start project, sets the
/// caption and makes the store's chooser this window's. The window owns the run it shows (a TkvRun,
/// through a TkvRunView): Search makes a new one, Convert starts its converters, and the run tells
/// the window when they have all ended.
///
/// During a run (from Convert until the last converter's finish) the commands that would replace the
/// batch job or the project (Files, Browse Files, a drop onto the list, a dropped project, Open, a
/// recent project, New, Config) are disabled or refused, and the status bar says why. Closing the
/// window during a run stops the run and closes when it has ended.
///
/// Thread rules: every member runs on the window thread; the run's reports from its threads only queue
/// row updates into the result model, and its end comes as a queued call.
///
/// REQUIRES: the global `Project` exists for the window's whole life; `Info` may be null.
class TkvFrmMain : public TkvFrmBase
{
    Q_OBJECT

public:
    /// `seam` answers the choosers (null: the real dialogs).
    explicit TkvFrmMain(std::unique_ptr<TkvDialogSeam> seam = nullptr, QWidget *parent = nullptr);
    ~TkvFrmMain() override;

    // The controls are the window's own; each has its member's name as objectName, so a test finds
    // it with findChild.

    TkvResultModel *Model() const { return model; }
    TkvUiChooser *Chooser() const { return chooser.get(); }
    /// True from Convert until the run's end has been handled.
    bool IsRunning() const { return running; }
    /// The job of the run the list shows; null when there is none (none yet, or dropped by Stop).
    TkvBatch *Job() const;
    /// Converters of the current run that have not ended yet.
    int ConvertorsRunning() const;
    /// True after Stop until the next Convert: an unattended window then stays open and repeats nothing.
    bool StoppedByUser() const { return stoppedByUser; }
    /// True once the window has been shown (or started as if shown) for the first time.
    bool WasShown() const { return shown; }

    /// Hands the bound controls to the options store.
    virtual void BindWindowControls();
    void SetDefaultTarget(const QString &folder);
    void NewBatch();
    void AddSourceFile(const QString &path);
    void UpdateCaption();
    /// Dropped paths onto `target` (a control of this window or one inside it): one project file opens
    /// it; a path onto an edit fills it; paths onto the list are queued as a new job. Returns true when
    /// the drop was used.
    bool DropFiles(QWidget *target, const QStringList &paths);
    /// Writes the list as "[status] => file => result" lines, UTF-8 with CR LF, replacing the file.
    /// Throws TkvFileError when the file cannot be written.
    void SaveListToFile(const QString &path);
    void AutoRun();
    void AfterRun();
    void OpenSelectedSource(bool folderOnly);
    /// True while the next unattended run (the Daemon option) waits for its timer.
    bool DaemonWaiting() const;
    /// The process's exit code once the window has closed: 1 when an unattended run could not place or
    /// write its log, else 0.
    int ExitCode() const { return exitCode; }
    /// Opens the archive of the list row at `index` (a row that converted); otherwise the status bar
    /// says why there is none.
    void OpenArchiveAt(const QModelIndex &index);

signals:
    /// Emitted when the window has closed (also when it was never shown).
    void Closed();

public slots:
    void FormShow();
    void bSourceClick();
    void bSourceFileClick();
    void bTargetClick();
    void aOpenExecute();
    void aNewExecute();
    void aConfigExecute();
    void aSaveExecute();
    void aSaveAsExecute();
    void aUpdateExecute();
    void aHelpExecute();
    void aHomePageExecute();
    void aSupportsExecute();
    void aAboutExecute();
    void pm2Popup();
    void RecentProjectClick(QAction *item);

    void aSearchExecute();
    void aConvertExecute();
    void aSearchConvertExecute();
    void aPauseExecute();
    void aStopExecute();
    void OnFinish();
    void aViewExecute();
    void pm1Popup();
    void ViewSource1Click();
    void OpenSource1Click();
    void OpenArchive1Click();
    void ExportList1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // ---- controls (objectName = the member's name) ----
    QToolBar *ToolBar = nullptr;
    QToolButton *tbOpen = nullptr;
    QMenu *pm2 = nullptr;
    QFrame *pSource = nullptr;
    QFrame *pTarget = nullptr;
    QLineEdit *eSource = nullptr;
    QLineEdit *eTarget = nullptr;
    QCheckBox *cSubdir = nullptr;
    QPushButton *bSource = nullptr;
    QPushButton *bSourceFile = nullptr;
    QPushButton *bTarget = nullptr;
    QToolButton *bSearch = nullptr;
    QToolButton *bView = nullptr;
    QToolButton *bSearchConvert = nullptr;
    QToolButton *bCreate = nullptr;
    QTreeView *lViewer = nullptr;
    QMenu *pm1 = nullptr;
    QAction *BrowseFiles1 = nullptr;
    QAction *ViewSource1 = nullptr;
    QAction *OpenSource1 = nullptr;
    QAction *OpenArchive1 = nullptr;
    QAction *ViewOutput1 = nullptr;
    QAction *ExportList1 = nullptr;
    QStatusBar *StatusBar = nullptr;

    QAction *aConvert = nullptr, *aStop = nullptr, *aOpen = nullptr, *aNew = nullptr, *aConfig = nullptr,
            *aSave = nullptr, *aSaveAs = nullptr, *aUpdate = nullptr, *aHelp = nullptr, *aHomePage = nullptr,
            *aSupports = nullptr, *aAbout = nullptr, *aSearch = nullptr, *aView = nullptr, *aSearchConvert = nullptr,
            *aPause = nullptr;

    void createActions();
    void createToolBar();
    void createRows();
    void createViewer();
    QAction *makeAction(const char *name, const QString &caption, const QString &hint, const QString &icon);
    void carry(QToolButton *button, QAction *action);
    void setRunning(bool on);
    bool search(); ///< Search; false when it could not start (the caller then does not convert)
    /// A Source naming a folder without a mask becomes that folder and the file mask, and the target
    /// follows it as the Folder button makes it.
    void expandSource();
    /// The run's search has ended: the status bar says how many pages it found, or why none.
    void searchEnded();
    /// Unattended runs: creates the log file's folder before any work. False (after saying why and
    /// closing the window) when it cannot be made.
    bool prepareLog();
    /// An error of an unattended run: the status bar, standard error, the error report, exit code 1.
    void unattendedError(const QString &text);
    /// Hands the project's Reports option to the information object before it opens anything.
    void reportsFromProject() const;
    bool cleanTarget();
    /// Lets go of the run the list shows; it is freed once the event loop is back, since its end may be
    /// what is being handled now.
    void dropRun();
    void focusControl(QWidget *control);
    /// Runs `command`; an exception that leaves it goes to the application's error handler.
    void guarded(const std::function<void()> &command);
    bool refuseDuringRun(const QString &what);
    QWidget *dropTargetAt(const QPoint &pos) const;

    TkvResultModel *model = nullptr;
    std::unique_ptr<TkvUiChooser> chooser;
    std::unique_ptr<TkvWindowInvoker> invoker;
    std::unique_ptr<TkvRunView> view;    ///< the run the list shows
    std::unique_ptr<TkvRunView> dropped; ///< a run let go of, freed from the event loop
    QTimer *daemonTimer = nullptr;
    QTimer *dropTimer = nullptr;
    bool stoppedByUser = false;
    bool dropAfterRun = false; ///< Stop was asked: the run's job goes when its end is handled
    bool paused = false;       ///< Pause was asked: the status bar says so until Convert or Stop
    int exitCode = 0;
    QLabel *eSourceLabel = nullptr;
    QLabel *eTargetLabel = nullptr;
    bool running = false;
    bool shown = false;
    bool closeAfterRun = false;
    bool closed = false;
    std::vector<QMetaObject::Connection> carried[2];
};

/// The program's main window (null until created, and in tests that make their own).
extern TkvFrmMain *kvFrmMain;
