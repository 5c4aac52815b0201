#include "kvDirListing.h"

#include "kvFileName.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TkvDirListing::List(const QString &folder, QStringList &files, QStringList &folders, TkvFileId &id)
{
    files.clear();
    folders.clear();
    QByteArray path = TkvFileName::Encode(folder);
    if (path.isEmpty())
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    DIR *dir = ::fdopendir(fd); // takes over fd
    if (!dir) {
        ::close(fd);
        return false;
    }
    id = TkvFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat target;
            if (::fstatat(::dirfd(dir), name, &target, 0) != 0)
                continue; // dangling link or vanished entry
            type = S_ISREG(target.st_mode) ? DT_REG : S_ISDIR(target.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG)
            files.append(TkvFileName::Decode(QByteArray(name)));
        else if (type == DT_DIR)
            folders.append(TkvFileName::Decode(QByteArray(name)));
    }
    ::closedir(dir);
    return true;
}
