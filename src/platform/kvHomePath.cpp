#include "kvHomePath.h"

#include "kvPath.h"

#include <QFile>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

QString environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? QFile::decodeName(value) : QString();
}

/// The folder `path` ready to have "/name" appended: no trailing '/', and the root as the empty text.
QString folderBase(const QString &path)
{
    const QString base = TkvPath::WithoutTrailingSlash(path);
    return base == QLatin1String("/") ? QString() : base;
}

QString userHome()
{
    QString home = environment("HOME");
    if (home.isEmpty()) {
        if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir) {
            home = QFile::decodeName(entry->pw_dir);
        }
    }
    return home.isEmpty() ? QStringLiteral("/tmp") : folderBase(home);
}

} // namespace

QString TkvHomePath::Folder()
{
    const QString own = environment("WEB2ARC_HOME");
    if (!own.isEmpty()) {
        return folderBase(own) + QLatin1Char('/');
    }
    // XDG Base Directory: a relative XDG_CONFIG_HOME is invalid and ignored.
    QString config = environment("XDG_CONFIG_HOME");
    if (!config.startsWith(QLatin1Char('/'))) {
        config = userHome() + QStringLiteral("/.config");
    }
    return folderBase(config) + QStringLiteral("/web2arc/");
}

QString TkvHomePath::Path()
{
    return Folder() + QStringLiteral("web2arc");
}
