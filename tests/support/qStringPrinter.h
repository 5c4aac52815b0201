#pragma once

#include <QString>

#include <ostream>

/// Lets GoogleTest show QString values (alone or in containers) as text instead of raw bytes.
inline void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}
