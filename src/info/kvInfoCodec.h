#pragma once

#include <QString>

#include <cstdint>
#include <optional>

/// The private encoding of the information file: the text's UTF-8 bytes behind a 32-bit checksum,
/// both scrambled by a key stream seeded with the installation number, written as hexadecimal digits
/// after a short marker. A text encoded under one key decodes only under that key; a changed digit
/// fails the checksum. Pure functions, any thread.
class TkvInfoCodec
{
public:
    static QString Encode(const QString &text, int32_t key);
    /// Returns the text, or nothing when `encoded` is not in this form, was written under another key
    /// or was altered.
    static std::optional<QString> Decode(const QString &encoded, int32_t key);
};
