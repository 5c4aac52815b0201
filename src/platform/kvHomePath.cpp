#include "kvHomePath.h"

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

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) {
        path.chop(1);
    }
    return path == QLatin1String("/") ? QString() : path;
}

QString userHome()
{
    QString home = environment("HOME");
    if (home.isEmpty()) {
        if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir) {
            home = QFile::decodeName(entry->pw_dir);
        }
    }
    return home.isEmpty() ? QStringLiteral("/tmp") : withoutTrailingSlash(home);
}

} // namespace

QString TkvHomePath::Folder()
{
    const QString own = environment("WEB2ARC_HOME");
    if (!own.isEmpty()) {
        return withoutTrailingSlash(own) + QLatin1Char('/');
    }
    // XDG Base Directory: a relative XDG_CONFIG_HOME is invalid and ignored.
    QString config = environment("XDG_CONFIG_HOME");
    if (!config.startsWith(QLatin1Char('/'))) {
        config = userHome() + QStringLiteral("/.config");
    }
    return withoutTrailingSlash(config) + QStringLiteral("/web2arc/");
}

QString TkvHomePath::Path()
{
    return Folder() + QStringLiteral("web2arc");
}
