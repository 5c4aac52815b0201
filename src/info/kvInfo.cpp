#include "kvInfo.h"

#include "kvFileUtils.h"
#include "kvFolderBirth.h"
#include "kvHomePath.h"
#include "kvInfoCodec.h"
#include "kvOpener.h"
#include "kvPath.h"
#include "kvProductValues.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

TkvInfo *Info = nullptr;

namespace {

QString NamePart(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? line : line.left(eq);
}

QString ValuePart(const QString &line)
{
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : line.mid(eq + 1);
}

} // namespace

TkvInfo::TkvInfo(const TkvProductInfo &productInfo) : product(productInfo)
{
    ExePath =
        QCoreApplication::instance() != nullptr ? QCoreApplication::applicationFilePath() : TkvPath::ExecutablePath();
    // The folder is made before its birth time is read: otherwise the first start would write the
    // file under -1 and the second one, finding the new folder, could not read it back.
    const QString folder = QFileInfo(HomePath()).absolutePath();
    QDir().mkpath(folder);
    InstallNumber = kvFolderBirth::BirthDosDateTime(folder);
    LoadInfo();
    AddCounter(QStringLiteral("R"), 1);
}

TkvInfo::~TkvInfo()
{
    SaveInfo();
}

void TkvInfo::SetProduct(const TkvProductInfo &productInfo)
{
    product = productInfo;
}

QString TkvInfo::HomePath()
{
    return TkvHomePath::Path();
}

QString TkvInfo::InfoFilePath() const
{
    return HomePath() + QStringLiteral(".ext");
}

int TkvInfo::CounterIndex(const QString &name) const
{
    for (int i = 0; i < Counters.size(); ++i) {
        if (NamePart(Counters[i]).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qint64 TkvInfo::Counter(const QString &name) const
{
    const int i = CounterIndex(name);
    if (i < 0)
        return 0;
    bool ok = false;
    const qint64 value = ValuePart(Counters[i]).trimmed().toLongLong(&ok);
    return ok ? value : 0;
}

void TkvInfo::AddCounter(const QString &name, int amount)
{
    const QString newText = QString::number(Counter(name) + amount);
    const int i = CounterIndex(name);
    if (i >= 0 && ValuePart(Counters[i]) == newText)
        return;
    if (i >= 0)
        Counters[i] = NamePart(Counters[i]) + QLatin1Char('=') + newText;
    else
        Counters.append(name + QLatin1Char('=') + newText);
    SaveInfo();
}

void TkvInfo::LoadInfo()
{
    Counters.clear();
    const QString path = InfoFilePath();
    if (QFileInfo::exists(path)) {
        try {
            // The file is kept in 2-byte units: UTF-16 little-endian, no byte-order mark.
            if (const auto text = TkvInfoCodec::Decode(TkvFileUtils::ReadFileText(path), InstallNumber))
                Counters = text->split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        } catch (const std::exception &) {
            Counters.clear();
        }
    }
    if (CounterIndex(QStringLiteral("R")) < 0)
        Counters.clear();
}

void TkvInfo::SaveInfo()
{
    const QString path = InfoFilePath();
    try {
        QFile existing(path);
        if (existing.exists())
            existing.setPermissions(existing.permissions() | QFileDevice::WriteOwner);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QString text;
        for (const QString &line : Counters)
            text += line + QStringLiteral("\r\n");
        TkvFileUtils::WriteFileText(path, TkvInfoCodec::Encode(text, InstallNumber));
        LastSaveError.clear();
    } catch (const std::exception &e) {
        LastSaveError = QString::fromUtf8(e.what());
    }
}

QString TkvInfo::CountersText() const
{
    QString text;
    for (const QString &line : Counters) {
        const QChar first = line.isEmpty() ? QChar() : line.front();
        if (first >= QLatin1Char('A') && first <= QLatin1Char('Z'))
            text += first.toLower() + ValuePart(line);
    }
    return text;
}

void TkvInfo::AddQueryParam(QString &query, const QString &name, const QString &value)
{
    if (value.isEmpty())
        return;
    if (!query.isEmpty())
        query += QLatin1Char('&');
    QString clean = value;
    clean.remove(QLatin1Char('"'));
    query += name + QLatin1Char('=') + clean;
}

QString TkvInfo::ReportText(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '%':
            out += QStringLiteral("%25");
            break;
        case '#':
            out += QStringLiteral("%23");
            break;
        case '&':
            out += QStringLiteral("%26");
            break;
        case '?':
            out += QStringLiteral("%3F");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString TkvInfo::HelpFilePath() const
{
    const QFileInfo exe(ExePath);
    const QString base = exe.completeBaseName().isEmpty() ? QStringLiteral("web2arc") : exe.completeBaseName();
    const QString beside = exe.absolutePath() + QLatin1Char('/') + base;
    const QString shared =
        QDir::cleanPath(exe.absolutePath() + QStringLiteral("/../share/doc/web2arc/")) + QLatin1Char('/') + base;
    for (const QString &candidate : {beside + QStringLiteral(".chm"), beside + QStringLiteral(".pdf"),
                                     shared + QStringLiteral(".chm"), shared + QStringLiteral(".pdf")}) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return beside + QStringLiteral(".pdf");
}

QString TkvInfo::BuildLink(const QString &page, const QString &action, const QString &extra) const
{
    if (page == QLatin1String("supports")) {
        QString title = product.Title;
        const qsizetype amp = title.indexOf(QLatin1Char('&'));
        if (amp >= 0)
            title.replace(amp, 1, QStringLiteral("And"));
        return QStringLiteral("mailto:") + QLatin1String(TkvProductValues::SupportMail) +
               QStringLiteral("?subject=Support required for %1 %2 - %3")
                   .arg(title, product.Version)
                   .arg(InstallNumber);
    }
    if (page == QLatin1String("h"))
        return HelpFilePath();

    QString base = QLatin1String(TkvProductValues::HomeAddress);
    if (!page.isEmpty())
        base += QStringLiteral("/en/") + product.ShortName + QLatin1Char('/') + page + QStringLiteral(".htm");
    else if (!action.isEmpty())
        base += QStringLiteral("/net/");
    QString query;
    AddQueryParam(query, QStringLiteral("a"), action);
    AddQueryParam(query, QStringLiteral("p"), product.ShortName);
    AddQueryParam(query, QStringLiteral("v"), product.Version);
    if (Reports) {
        AddQueryParam(query, QStringLiteral("c"), CountersText());
        AddQueryParam(query, QStringLiteral("i"), QString::number(InstallNumber));
    }
    if (!extra.isEmpty())
        query += QLatin1Char('&') + extra;
    return base + QLatin1Char('?') + query;
}

void TkvInfo::OpenLink(const QString &page, const QString &action, const QString &extra)
{
    LastLink = BuildLink(page, action, extra);
    kvOpener::OpenAddress(LastLink);
}

void TkvInfo::HandleAppException(const QString &errorText)
{
    try {
        AddCounter(QStringLiteral("E"), 1);
    } catch (...) {
    }
    if (Reports)
        OpenLink(QString(), QStringLiteral("err&e=") + ReportText(errorText), QString());
}

void TkvInfo::HandleAppException(const std::exception &error)
{
    HandleAppException(QString::fromUtf8(error.what()));
}
