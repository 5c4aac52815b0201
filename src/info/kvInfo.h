#pragma once

#include <QString>
#include <QStringList>

#include <exception>

/// Product values the information object needs; handed over by start-up rather than read from the
/// options store (the store sits above this layer).
struct TkvProductInfo
{
    QString Title;
    QString Version;
    QString ShortName;
};

/// Product information: usage counters kept in the information file, the help document, the support
/// mail, the maker's web pages and the failure and error reports. Main thread only; no lock.
///
/// The information file is the home path (WEB2ARC_HOME/web2arc, else XDG_CONFIG_HOME/web2arc/web2arc,
/// else ~/.config/web2arc/web2arc) with ".ext" appended; its text is encoded with TkvInfoCodec keyed by
/// InstallNumber. A failure to write it never stops anything: it is kept in LastSaveError.
class TkvInfo
{
public:
    /// Creates the home folder when missing (failure ignored), takes InstallNumber from its birth
    /// time, loads the information file (errors ignored) and counts the start ("R").
    explicit TkvInfo(const TkvProductInfo &product);
    /// Saves the information file once more (a failure is swallowed).
    ~TkvInfo();

    int InstallNumber = -1;
    QStringList Counters;  ///< Name=Value lines, names matched without regard to case
    QString ExePath;       ///< the running executable (help document lookup); set from the application
    QString LastSaveError; ///< the last failure of SaveInfo as a sentence; empty after a good save
    /// The Reports option of the project in use. False: HandleAppException opens no error report, and
    /// the web addresses OpenLink builds carry neither the usage counters nor the installation number.
    /// The failure report at the end of a run is the run's to leave out (it reads its own options).
    bool Reports = true;

    void SetProduct(const TkvProductInfo &product);
    /// Adds `amount` to the named counter (created when missing) and saves the file when the stored
    /// text changed.
    void AddCounter(const QString &name, int amount);
    /// The counter's value, 0 when absent or not a number.
    qint64 Counter(const QString &name) const;
    /// Opens the help document ("h"), the support mail ("supports") or a web address of the maker's
    /// site; never blocks, never reports.
    void OpenLink(const QString &page, const QString &action, const QString &extra);
    /// The last address OpenLink built (for tests and the command-line switches).
    QString LastLink;
    /// Counts the error ("E") and opens an error report with its text.
    void HandleAppException(const QString &errorText);
    void HandleAppException(const std::exception &error);

    /// The address OpenLink opens for these arguments (no side effect).
    QString BuildLink(const QString &page, const QString &action, const QString &extra) const;
    /// The counters in query form: r12c3a40... (entries whose name begins with A to Z, in list order).
    QString CountersText() const;
    /// Appends name=value to `query` ("&" first when not empty); nothing for an empty value; double
    /// quotes are removed from the value, nothing else is escaped.
    static void AddQueryParam(QString &query, const QString &name, const QString &value);
    /// A failure or error text made safe as the value of the report's "e" part: '%', '#', '&' and '?'
    /// become %25, %23, %26 and %3F, so the text neither ends the query nor adds parts to it.
    static QString ReportText(const QString &text);

    /// The home path: the base of the per-user files (default project, recent list, information file).
    static QString HomePath();
    QString InfoFilePath() const;
    QString HelpFilePath() const;
    void LoadInfo();
    /// Writes the information file; a failure is stored in LastSaveError, never thrown.
    void SaveInfo();

private:
    TkvProductInfo product;
    int CounterIndex(const QString &name) const;
};

/// The one process-wide information object; may be null (tests, early start-up).
extern TkvInfo *Info;
