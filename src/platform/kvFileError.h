#pragma once

#include <QString>

#include <stdexcept>

/// A file operation that failed. what() is a whole UTF-8 sentence naming the file and the cause, for
/// example: Cannot create file "/home/u/a.batch-web2arc". No such file or directory
class TkvFileError : public std::runtime_error
{
public:
    explicit TkvFileError(const QString &message) : std::runtime_error(message.toStdString()) {}

    /// `Cannot <verb> file "<path>". <cause>` with the cause taken from the errno value `error`.
    static TkvFileError FromErrno(const char *verb, const QString &path, int error);
};
