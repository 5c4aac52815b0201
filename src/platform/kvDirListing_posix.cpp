#include "kvDirListing.h"

#include "kvFileName.h"

#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool failed(int *error, int value)
{
    if (error)
        *error = value;
    return false;
}

} // namespace

bool TkvDirListing::List(const QString &folder, QStringList &files, QStringList &folders, TkvFileId &id,
                         int *error)
{
    files.clear();
    folders.clear();
    QByteArray path = TkvFileName::Encode(folder);
    // The system reads a name up to its first NUL: such a name would list another folder.
    if (path.isEmpty() || path.contains('\0'))
        return failed(error, path.isEmpty() ? ENOENT : EINVAL);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failed(error, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int cause = errno;
        ::close(fd);
        return failed(error, cause);
    }
    DIR *dir = ::fdopendir(fd); // takes over fd
    if (!dir) {
        const int cause = errno;
        ::close(fd);
        return failed(error, cause);
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
