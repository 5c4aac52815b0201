#pragma once

#include <QString>

#include <stdexcept>

/// A file operation that failed. what() is a whole UTF-8 sentence naming the file and the cause, for
/// example: Cannot create file "/home/u/a.batch-web2arc". No such file or directory
class TkvFileError : public std::runtime_error
{
public:
    /// `error`: the system's error number behind the failure, 0 when there is none.
    explicit TkvFileError(const QString &message, int error = 0)
        : std::runtime_error(message.toStdString()), error(error)
    {}

    /// The system's error number behind the failure (ENOENT, ENOSPC ...); 0 when there is none.
    int Error() const { return error; }

    /// `Cannot <verb> file "<path>". <cause>` with the cause taken from the errno value `error`.
    static TkvFileError FromErrno(const char *verb, const QString &path, int error);

private:
    int error;
};
