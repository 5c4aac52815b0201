#pragma once

// Runs the built web2arc executable in console mode inside a private temporary folder: WEB2ARC_HOME
// points at <root>/home and WEB2ARC_OPENER at a shell script that appends each address it is given to
// <root>/opened.txt, so a test sees every address the program opens without a desktop.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct TkvE2eResult
{
    int ExitCode = -1;
    bool Finished = false; ///< false when the process did not end within the time-out
    QByteArray Out;
    QByteArray Err;
};

class TkvE2eEnv
{
public:
    TkvE2eEnv();

    QString Root() const { return dir.path(); }
    QString Home() const { return dir.path() + QStringLiteral("/home"); }
    /// Root() + "/" + relative.
    QString Path(const QString &relative) const;

    /// The environment every run gets: WEB2ARC_HOME, WEB2ARC_OPENER, and no display.
    QProcessEnvironment Environment() const;
    /// The web2arc executable under test.
    static QString Executable();
    /// Runs web2arc with `args`; the working folder is Root(). The variables named in `unset` are
    /// left out of its environment.
    TkvE2eResult Run(const QStringList &args, int timeoutMs = 180000, const QStringList &unset = {}) const;
    /// Run, with another copy of the program.
    TkvE2eResult RunProgram(const QString &program, const QStringList &args, int timeoutMs = 180000) const;
    /// Writes a project file of name=value lines (CR LF) and runs it.
    TkvE2eResult RunProject(const QStringList &options,
                            const QString &name = QStringLiteral("job.batch-web2arc")) const;

    /// Waits until at least `count` addresses were recorded (30 s at most) and returns all of them.
    QStringList WaitOpened(int count) const;
    /// The addresses recorded so far.
    QStringList Opened() const;

    /// Writes bytes to Path(relative), creating folders.
    void WriteFile(const QString &relative, const QByteArray &bytes) const;
    /// A small page that uses the sample site's logo, with `title` in its <title>.
    void WritePage(const QString &relative, const QString &title) const;

    static QByteArray ReadAll(const QString &path);
    /// The sample site's logo (a real PNG), which WritePage pages reference as "logo.png" beside them.
    static QByteArray LogoPng();
    static QString ExamplesDir();

private:
    TkvE2eResult run(const QString &program, const QStringList &args, int timeoutMs, const QStringList &unset) const;

    QTemporaryDir dir;
};

/// `text` encoded as the information file of installation `key` (UTF-16LE bytes, as written).
QByteArray EncodeInfoForTest(const QString &text, int key);
