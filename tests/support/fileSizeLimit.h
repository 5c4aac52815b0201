#pragma once

// A full disk for a test: root ignores permission bits, but not the file size limit of its process.

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

/// Runs `write` in a child process whose files may grow to `limit` bytes at most, and returns the
/// number `write` returned, or -1 when the child did not end by itself.
inline int RunWithFileSizeLimit(rlim_t limit, const std::function<int()> &write)
{
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        _exit(write());
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}
