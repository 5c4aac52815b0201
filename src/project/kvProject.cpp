#include "kvProject.h"

#include "kvFileError.h"
#include "kvFileName.h"
#include "kvHomePath.h"
#include "kvInfo.h"
#include "kvPath.h"
#include "kvPropList.h"
#include "kvTextFile.h"

#include <QFileInfo>

#include <cstdint>
#include <limits>

TkvProject *Project = nullptr;

namespace {

/// Index of the first line whose name (the text before its first '=') equals `key` without regard to
/// case; -1 when none does. Lines without '=' never match.
qsizetype findLine(const QStringList &lines, const QString &key)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(key, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int hexValue(QChar c)
{
    if (isDigit(c)) {
        return c.unicode() - '0';
    }
    const char16_t lower = c.toLower().unicode();
    if (lower >= 'a' && lower <= 'f') {
        return lower - 'a' + 10;
    }
    return -1;
}

/// A decimal number in the C locale: blanks, sign, digits with an optional fraction and exponent,
/// blanks. Sets `nonZero` when its value is not zero.
bool parseNumber(const QString &text, bool &nonZero)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        ++i;
    }
    int digits = 0;
    nonZero = false;
    while (i < n && isDigit(text.at(i))) {
        nonZero = nonZero || text.at(i) != QLatin1Char('0');
        ++i;
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(text.at(i))) {
            nonZero = nonZero || text.at(i) != QLatin1Char('0');
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
            ++i;
        }
        int exponentDigits = 0;
        while (i < n && isDigit(text.at(i))) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    return i == n;
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
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
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

// ---- typed reading ----

bool TkvProject::ReadBoolean(const QString &text, bool defaultValue)
{
    bool nonZero = false;
    if (parseNumber(text, nonZero)) {
        return nonZero;
    }
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    return defaultValue;
}

int TkvProject::ReadInteger(const QString &text, int defaultValue)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' ')) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n && (text.at(i) == QLatin1Char('$') || text.at(i) == QLatin1Char('x') || text.at(i) == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        return defaultValue;
    }
    if (hex) {
        if (n - i > 8) {
            return defaultValue;
        }
        std::uint32_t pattern = 0;
        for (; i < n; ++i) {
            const int digit = hexValue(text.at(i));
            if (digit < 0) {
                return defaultValue;
            }
            pattern = pattern << 4 | std::uint32_t(digit);
        }
        // Eight digits are a 32-bit pattern ($FFFFFFFF is -1); a sign negates it modulo 2^32.
        if (negative) {
            pattern = 0u - pattern;
        }
        return static_cast<std::int32_t>(pattern);
    }
    std::int64_t value = 0;
    const std::int64_t limit =
        negative ? -std::int64_t(std::numeric_limits<int>::min()) : std::int64_t(std::numeric_limits<int>::max());
    for (; i < n; ++i) {
        if (!isDigit(text.at(i))) {
            return defaultValue;
        }
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > limit) {
            return defaultValue;
        }
    }
    return int(negative ? -value : value);
}

// ---- getters ----

QString TkvProject::GetSource() const
{
    return GetOption(QStringLiteral("Source"));
}

QString TkvProject::GetTarget() const
{
    return GetOption(QStringLiteral("Target"));
}

bool TkvProject::GetSubdir() const
{
    return ReadBoolean(GetOption(QStringLiteral("Subdir")), false);
}

int TkvProject::GetThreadsCount() const
{
    return ReadInteger(GetOption(QStringLiteral("ThreadsCount")), 1);
}

int TkvProject::GetIsOverwrite() const
{
    const QString value = GetOption(QStringLiteral("IsOverwrite"));
    if (value.compare(QLatin1String("skip"), Qt::CaseInsensitive) == 0) {
        return 9;
    }
    return ReadBoolean(value, OverwriteDefault) ? 1 : 0;
}

bool TkvProject::GetKeepFileTime() const
{
    return ReadBoolean(GetOption(QStringLiteral("KeepFileTime")), false);
}

bool TkvProject::GetKeepTargetSubdirs() const
{
    return ReadBoolean(GetOption(QStringLiteral("KeepTargetSubdirs")), true);
}

bool TkvProject::GetDeleteSource() const
{
    return ReadBoolean(GetOption(QStringLiteral("DeleteSource")), false);
}

QString TkvProject::GetRenameSource() const
{
    return GetOption(QStringLiteral("RenameSource"));
}

bool TkvProject::GetPureConsole() const
{
    return ReadBoolean(GetOption(QStringLiteral("PureConsole")), false);
}

int TkvProject::GetDaemon() const
{
    return ReadInteger(GetOption(QStringLiteral("Daemon")), 0);
}

bool TkvProject::GetRunAndClose() const
{
    return ReadBoolean(GetOption(QStringLiteral("RunAndClose")), false) || GetPureConsole() || GetDaemon() > 0;
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
    if (IsProjectFile(path)) {
        try {
            const QStringList lines = TkvTextFile::ReadLines(path);
            SetOptionLines(lines);
            AddRecent();
        } catch (const std::exception &) {
            // A missing or unreadable project changes nothing.
        }
    } else if (!InlineOptions.isEmpty()) {
        SetOptionsText(InlineOptions);
        followSource(GetSource());
    } else if (!path.isEmpty()) {
        ProjectFile.clear();
        SetOption(QStringLiteral("Source"), path);
        followSource(path);
    }
    OptionsToControls();
}

void TkvProject::followSource(const QString &source)
{
    // The "folder" of a web address is no place to write to: it would become a relative folder named
    // after the address's scheme and host. Its archive goes to the current folder instead.
    if (TargetFollowsSource && GetTarget().isEmpty() && !TkvPath::IsWebAddress(source)) {
        SetOption(QStringLiteral("Target"), TkvPath::FolderPart(source));
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
