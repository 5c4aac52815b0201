#pragma once

#include <QString>

#include <stdexcept>

/// Every failure of the archive engine: a sentence a person can read, naming the file or address and
/// the cause (UTF-8 in what()).
class EMhtError : public std::runtime_error
{
public:
    explicit EMhtError(const QString &message) : std::runtime_error(message.toStdString()) {}
};
