#pragma once

#include <QString>
#include <QStringList>

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
class TkvInfo
{
public:
    /// Loads the information file (errors ignored) and counts the start ("R").
    explicit TkvInfo(const TkvProductInfo &product);
    /// Saves the information file once more (a failure is swallowed).
    ~TkvInfo();

    int InstallNumber = -1;
    QStringList Counters; ///< Name=Value lines

    void SetProduct(const TkvProductInfo &product);
    void AddCounter(const QString &name, int amount);
    /// Opens the help document, the support mail or a web address; never blocks, never reports.
    void OpenLink(const QString &page, const QString &action, const QString &extra);
    /// The last address OpenLink built (for tests and the command-line switches).
    QString LastLink;
    /// Counts the error ("E") and opens an error report with its text.
    void HandleAppException(const QString &errorText);

    QString InfoFilePath() const;
    void LoadInfo();
    void SaveInfo();
};

/// The one process-wide information object; may be null (tests, early start-up).
extern TkvInfo *Info;
