#include "kvFileTimes.h"

#include "kvFileName.h"

#include <fcntl.h>
#include <sys/stat.h>

bool TkvFileTimes::Copy(const QString &source, const QString &target)
{
    struct stat st;
    if (::stat(TkvFileName::Encode(source).constData(), &st) != 0)
        return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::utimensat(AT_FDCWD, TkvFileName::Encode(target).constData(), times, 0) == 0;
}
