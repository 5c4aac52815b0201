#include "e2eHarness.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

TkvE2eEnv::TkvE2eEnv()
{
    QDir().mkpath(Home());
    const QString script = Path(QStringLiteral("opener.sh"));
    WriteFile(
        QStringLiteral("opener.sh"),
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(Path(QStringLiteral("opened.txt"))).toUtf8());
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString TkvE2eEnv::Path(const QString &relative) const
{
    return dir.path() + QLatin1Char('/') + relative;
}

QProcessEnvironment TkvE2eEnv::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WEB2ARC_HOME"), Home());
    env.insert(QStringLiteral("WEB2ARC_OPENER"), Path(QStringLiteral("opener.sh")));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    return env;
}

QString TkvE2eEnv::Executable()
{
    // WEB2ARC_E2E_EXE may name another build of the program (for instance a sanitizer build).
    return qEnvironmentVariableIsEmpty("WEB2ARC_E2E_EXE") ? QStringLiteral(WEB2ARC_EXE)
                                                          : qEnvironmentVariable("WEB2ARC_E2E_EXE");
}

TkvE2eResult TkvE2eEnv::Run(const QStringList &args, int timeoutMs, const QStringList &unset) const
{
    return run(Executable(), args, timeoutMs, unset);
}

TkvE2eResult TkvE2eEnv::RunProgram(const QString &program, const QStringList &args, int timeoutMs) const
{
    return run(program, args, timeoutMs, {});
}

TkvE2eResult TkvE2eEnv::run(const QString &program, const QStringList &args, int timeoutMs,
                            const QStringList &unset) const
{
    QProcess process;
    QProcessEnvironment env = Environment();
    for (const QString &name : unset)
        env.remove(name);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(Root());
    process.start(program, args);
    TkvE2eResult result;
    if (!process.waitForStarted(30000))
        return result;
    result.Finished = process.waitForFinished(timeoutMs);
    if (!result.Finished) {
        process.kill();
        process.waitForFinished(10000);
    }
    result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.Out = process.readAllStandardOutput();
    result.Err = process.readAllStandardError();
    return result;
}

TkvE2eResult TkvE2eEnv::RunProject(const QStringList &options, const QString &name) const
{
    QByteArray text;
    for (const QString &line : options)
        text += line.toUtf8() + "\r\n";
    WriteFile(name, text);
    return Run({Path(name)});
}

QStringList TkvE2eEnv::Opened() const
{
    const QString text = QString::fromUtf8(ReadAll(Path(QStringLiteral("opened.txt"))));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList TkvE2eEnv::WaitOpened(int count) const
{
    // The opener runs detached and may still be writing when the program has ended.
    QDeadlineTimer deadline(30000);
    while (Opened().size() < count && !deadline.hasExpired())
        QThread::msleep(20);
    return Opened();
}

void TkvE2eEnv::WriteFile(const QString &relative, const QByteArray &bytes) const
{
    const QString path = Path(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

void TkvE2eEnv::WritePage(const QString &relative, const QString &title) const
{
    const QString folder = QFileInfo(relative).path();
    const QString logo =
        folder == QLatin1String(".") ? QStringLiteral("logo.png") : folder + QStringLiteral("/logo.png");
    WriteFile(logo, LogoPng());
    WriteFile(relative, QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                                       "<body><p>%1</p><img src=\"logo.png\"></body></html>\n")
                            .arg(title)
                            .toUtf8());
}

QByteArray TkvE2eEnv::ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString TkvE2eEnv::ExamplesDir()
{
    return QDir::cleanPath(QStringLiteral(WEB2ARC_FIXTURES) + QStringLiteral("/../../examples"));
}

QByteArray TkvE2eEnv::LogoPng()
{
    static const QByteArray logo = ReadAll(ExamplesDir() + QStringLiteral("/site/img/logo.png"));
    return logo;
}
