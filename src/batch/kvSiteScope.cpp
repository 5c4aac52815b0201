#include "kvSiteScope.h"

#include "kvWildcard.h"

#include <QByteArray>

std::optional<TkvSiteScope> TkvSiteScope::FromSource(const QString &source, bool subdirs)
{
    QString text = source.trimmed();
    text.remove(u'\t').remove(u'\n').remove(u'\r'); // as the address parser does
    const qsizetype hash = text.indexOf(u'#');
    if (hash >= 0)
        text.truncate(hash);
    const qsizetype question = text.indexOf(u'?');
    const qsizetype pathEnd = question >= 0 ? question : text.size();
    if (pathEnd == 0)
        return std::nullopt;
    // Backslashes count as slashes in web addresses.
    const qsizetype slash = std::max(text.lastIndexOf(u'/', pathEnd - 1), text.lastIndexOf(u'\\', pathEnd - 1));
    if (slash < 0 || !text.mid(slash + 1, pathEnd - slash - 1).contains(u'*'))
        return std::nullopt;
    const TkvUrl folder = TkvUrl::Parse(text.left(slash + 1));
    if (!folder.IsHttp() || !folder.Path().endsWith(u'/') || !folder.Query().isNull())
        return std::nullopt;
    return TkvSiteScope(folder, text.mid(slash + 1), subdirs);
}

TkvSiteScope::TkvSiteScope(const TkvUrl &folder, const QString &mask, bool subdirs)
    : folder(folder), mask(mask), subdirs(subdirs)
{}

bool TkvSiteScope::IsBelowFolder(const TkvUrl &url) const
{
    return url.IsHttp() && url.Scheme() == folder.Scheme() && url.Host() == folder.Host() &&
           url.Port() == folder.Port() && url.UserName() == folder.UserName() && url.Password() == folder.Password() &&
           url.Query().isNull() && url.Path().startsWith(folder.Path());
}

QString TkvSiteScope::RelativePath(const TkvUrl &url) const
{
    return url.Path().mid(folder.Path().size());
}

bool TkvSiteScope::Contains(const TkvUrl &url) const
{
    if (!IsBelowFolder(url))
        return false;
    const QString relative = RelativePath(url);
    const qsizetype lastSlash = relative.lastIndexOf(u'/');
    if (!subdirs && lastSlash >= 0)
        return false; // a page or index in a subfolder
    const QString name = relative.mid(lastSlash + 1);
    if (name.isEmpty())
        return true; // the index page of the folder or of a subfolder
    return TkvWildcard::Matches(mask, QString::fromUtf8(QByteArray::fromPercentEncoding(name.toUtf8())));
}
