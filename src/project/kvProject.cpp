#include "kvProject.h"

#include "kvFileError.h"
#include "kvFileName.h"
#include "kvHomePath.h"
#include "kvInfo.h"
#include "kvOptionTable.h"
#include "kvPath.h"
#include "kvPropList.h"
#include "kvTextFile.h"

#include <QFileInfo>

TkvProject *Project = nullptr;

namespace {

/// Index of the first line whose name (the text before its first '=', without the blanks around it)
/// equals `key` without regard to case; -1 when none does. Lines without '=' never match.
qsizetype findLine(const QStringList &lines, const QString &key)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

} // namespace

TkvProject::TkvProject()
{
    LoadRecent();
}

TkvProject::~TkvProject()
{
    UnbindControls();
    SaveRecent();
}

// ---- options ----

QString TkvProject::GetOption(const QString &key) const
{
    std::lock_guard<std::mutex> guard(optionsLock);
    const qsizetype i = findLine(Options, key);
    if (i < 0) {
        return QString();
    }
    const QString &line = Options.at(i);
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

void TkvProject::SetOption(const QString &key, const QString &value)
{
    std::lock_guard<std::mutex> guard(optionsLock);
    const qsizetype i = findLine(Options, key);
    if (value.isEmpty()) {
        if (i >= 0) {
            Options.removeAt(i);
        }
    } else if (i >= 0) {
        Options[i] = key + QLatin1Char('=') + value;
    } else {
        Options.append(key + QLatin1Char('=') + value);
    }
}

QString TkvProject::OptionsText() const
{
    std::lock_guard<std::mutex> guard(optionsLock);
    QString text;
    for (const QString &line : Options) {
        text += line;
        text += QLatin1String("\r\n");
    }
    return text;
}

void TkvProject::SetOptionsText(const QString &text)
{
    SetOptionLines(TkvTextFile::SplitLines(text));
}

void TkvProject::SetOptionLines(const QStringList &lines)
{
    std::lock_guard<std::mutex> guard(optionsLock);
    Options = lines;
}

QStringList TkvProject::OptionLines() const
{
    std::lock_guard<std::mutex> guard(optionsLock);
    return Options;
}

// ---- getters ----

QString TkvProject::Text(TkvOption option) const
{
    return GetOption(TkvOptionTable::Key(option));
}

int TkvProject::Value(TkvOption option) const
{
    const int defaultValue =
        option == TkvOption::IsOverwrite ? int(OverwriteDefault) : TkvOptionTable::DefaultValue(option);
    return TkvOptionTable::ReadValue(option, Text(option), defaultValue);
}

QString TkvProject::GetSource() const
{
    return Text(TkvOption::Source);
}

QString TkvProject::GetTarget() const
{
    return Text(TkvOption::Target);
}

bool TkvProject::GetSubdir() const
{
    return Value(TkvOption::Subdir);
}

int TkvProject::GetThreadsCount() const
{
    return Value(TkvOption::ThreadsCount);
}

int TkvProject::GetIsOverwrite() const
{
    return Value(TkvOption::IsOverwrite);
}

bool TkvProject::GetKeepFileTime() const
{
    return Value(TkvOption::KeepFileTime);
}

bool TkvProject::GetKeepTargetSubdirs() const
{
    return Value(TkvOption::KeepTargetSubdirs);
}

bool TkvProject::GetDeleteSource() const
{
    return Value(TkvOption::DeleteSource);
}

QString TkvProject::GetRenameSource() const
{
    return Text(TkvOption::RenameSource);
}

bool TkvProject::GetPureConsole() const
{
    return Value(TkvOption::PureConsole);
}

int TkvProject::GetDaemon() const
{
    return Value(TkvOption::Daemon);
}

bool TkvProject::GetRunAndClose() const
{
    return Value(TkvOption::RunAndClose) || GetPureConsole() || GetDaemon() > 0;
}

QString TkvProject::PagesSource(const QString &source) const
{
    if (source.isEmpty() || FileMask.isEmpty() || TkvPath::IsWebAddress(source) ||
        !TkvFileName::IsDir(TkvPath::UrlToPath(source)))
        return source;
    return source.endsWith(PathDelim) ? source + FileMask : source + PathDelim + FileMask;
}

QString TkvProject::GetTargetDir() const
{
    QString target = GetTarget();
    if (target.isEmpty()) {
        return target; // nothing to create; the caller copes with an empty target
    }
    // The folder the run will write to: a file: URL names a local path, and the name's bytes are the
    // ones the search and the converters use, so no second folder appears beside the right one.
    TkvFileName::MakePath(TkvPath::UrlToPath(target)); // a failure shows when the first file is written
    if (!target.endsWith(PathDelim)) {
        target += PathDelim;
    }
    return target;
}

// ---- project commands ----

bool TkvProject::ParseCommandLine(const QString &firstParam)
{
    const QString &param = firstParam;
    // A '-' always starts a switch. A '/' does too on Windows, but here it also starts every absolute
    // path, so it counts only in the short forms "/U", "/I", "/P" and "/P:..." (a path like /usr/x.htm
    // must stay a path).
    const bool dash = param.size() >= 2 && param.at(0) == QLatin1Char('-');
    const bool slash =
        param.size() >= 2 && param.at(0) == QLatin1Char('/') && (param.size() == 2 || param.at(2) == QLatin1Char(':'));
    if (dash || slash) {
        char16_t letter = param.at(1).unicode();
        if (letter >= 'a' && letter <= 'z') {
            letter = char16_t(letter - 'a' + 'A');
        }
        if (letter == 'I') {
            if (Info) {
                Info->OpenLink(QString(), QStringLiteral("ins"), param.mid(2));
            }
            return false;
        }
        if (letter == 'U') {
            if (Info) {
                Info->OpenLink(QString(), QStringLiteral("uni"), QString());
            }
            return false;
        }
        if (letter == 'P') {
            QString inline_ = param.mid(2);
            if (inline_.startsWith(QLatin1Char(':'))) {
                inline_.remove(0, 1);
            }
            inline_.replace(QLatin1Char(','), QLatin1Char(';'));
            inline_.replace(QLatin1Char(';'), QLatin1String("\r\n"));
            InlineOptions = inline_;
        }
    } else if (param.size() >= 2) {
        ProjectFile = param;
        if (!IsProjectFile(param)) {
            StartPath = param;
        }
    }
    LoadStartProject();
    return true;
}

void TkvProject::LoadStartProject()
{
    if (ProjectFile.isEmpty() && InlineOptions.isEmpty()) {
        // The first load of a bare path left ProjectFile empty; the path given still wins over the
        // default project when the window loads the start project again.
        ProjectFile = StartPath.isEmpty() ? DefaultProjectPath() : StartPath;
    }
    OpenProject(true);
}

void TkvProject::OpenProject(bool silent)
{
    if (!silent) {
        if (!Chooser) {
            return;
        }
        QString path = ProjectFile;
        if (!Chooser->OpenFileDialog(ProjectFilter + QLatin1Char('|') + OpenFilter, path, false)) {
            return;
        }
        ProjectFile = path;
    }
    const QString path = ProjectFile;
    LoadError.clear();
    if (IsProjectFile(path)) {
        try {
            const QStringList lines = TkvTextFile::ReadLines(path);
            SetOptionLines(lines);
            AddRecent();
        } catch (const std::exception &e) {
            // A missing or unreadable project changes nothing; start-up says why when it matters.
            LoadError = QString::fromUtf8(e.what());
        }
    } else if (!InlineOptions.isEmpty()) {
        SetOptionsText(InlineOptions);
        followSource(GetSource());
    } else if (!path.isEmpty()) {
        ProjectFile.clear();
        const QString source = PagesSource(path);
        SetOption(TkvOptionTable::Key(TkvOption::Source), source);
        followSource(source);
    }
    OptionsToControls();
}

void TkvProject::followSource(const QString &source)
{
    // The "folder" of a web address is no place to write to: it would become a relative folder named
    // after the address's scheme and host. Its archive goes to the current folder instead.
    if (TargetFollowsSource && GetTarget().isEmpty() && !TkvPath::IsWebAddress(source)) {
        SetOption(TkvOptionTable::Key(TkvOption::Target), TkvPath::FolderPart(PagesSource(source)));
    }
}

void TkvProject::NewProject()
{
    ProjectFile.clear();
    SetOptionLines(QStringList());
    OptionsToControls();
}

void TkvProject::StoreOptions(bool writeFile)
{
    ControlsToOptions();
    if (writeFile) {
        TkvTextFile::WriteLines(ProjectFile, OptionLines());
        AddRecent();
    }
}

void TkvProject::SaveProject()
{
    if (!ProjectFile.isEmpty()) {
        StoreOptions(true);
    } else {
        SaveProjectAs();
    }
}

void TkvProject::SaveProjectAs()
{
    if (!Chooser) {
        return;
    }
    QString path = ProjectFile;
    if (!Chooser->SaveFileDialog(ProjectFilter, ProjectExt, path)) {
        return;
    }
    ProjectFile = path;
    StoreOptions(true);
}

bool TkvProject::IsProjectFile(const QString &path) const
{
    if (path.isEmpty() || ProjectExt.isEmpty()) {
        return false;
    }
    const qsizetype at = path.indexOf(ProjectExt, 0, Qt::CaseSensitive);
    return at >= 0 && at == path.size() - ProjectExt.size();
}

void TkvProject::AddRecent()
{
    if (ProjectFile.isEmpty()) {
        return;
    }
    if (!RecentFiles.contains(ProjectFile, Qt::CaseInsensitive)) {
        RecentFiles.prepend(ProjectFile);
    }
}

QString TkvProject::RecentListPath() const
{
    return TkvHomePath::Path() + QStringLiteral(".log");
}

QString TkvProject::DefaultProjectPath() const
{
    return TkvHomePath::Path() + ProjectExt;
}

void TkvProject::LoadRecent()
{
    try {
        const QString path = RecentListPath();
        if (QFileInfo::exists(path)) {
            RecentFiles = TkvTextFile::ReadLines(path);
            RecentFiles.removeAll(QString());
        }
    } catch (const std::exception &) {
        RecentFiles.clear();
    }
}

void TkvProject::SaveRecent() const
{
    try {
        TkvTextFile::WriteLines(RecentListPath(), RecentFiles);
    } catch (const std::exception &) {
        // The list is a convenience: not keeping it is not an error.
    }
}
