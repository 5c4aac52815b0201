#include "kvRuntimeFolder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

/// The name Qt gives the fallback folder: the user's login name, else the number.
QByteArray userName(uid_t uid)
{
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name &&
        *found->pw_name) {
        return QByteArray(found->pw_name);
    }
    return QByteArray::number(uint(uid));
}

bool isPrivateFolderOf(const QByteArray &path, uid_t uid)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
           (info.st_mode & 07777) == 0700;
}

} // namespace

QString TkvRuntimeFolder::Provide()
{
    const char *current = std::getenv("XDG_RUNTIME_DIR");
    if (current && *current) {
        return QFile::decodeName(current);
    }
    const uid_t uid = ::geteuid();
    const QByteArray folder = QFile::encodeName(QDir::tempPath()) + "/runtime-" + userName(uid);
    if (::mkdir(folder.constData(), 0700) == 0) {
        ::chmod(folder.constData(), 0700); // the umask may have taken bits the owner needs
    } else if (errno != EEXIST) {
        return QString();
    }
    if (!isPrivateFolderOf(folder, uid)) {
        return QString();
    }
    ::setenv("XDG_RUNTIME_DIR", folder.constData(), 1);
    return QFile::decodeName(folder);
}
