#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

/// The whole message in its stored form: a list of chunks whose concatenation is the message, so
/// parts encoded once and shared between archives (style sheets, scripts, fonts) are not copied.
/// A value type; copies share the chunks. Not for concurrent use of one object.
class TkvMhtStream
{
public:
    TkvMhtStream() = default;
    explicit TkvMhtStream(QByteArray bytes) : chunks{std::move(bytes)} {}
    explicit TkvMhtStream(std::vector<QByteArray> parts) : chunks(std::move(parts)) {}

    /// The message as one array, joined on the first call.
    const QByteArray &Bytes() const;
    const std::vector<QByteArray> &Chunks() const { return chunks; }
    /// Length of the message in bytes.
    qint64 Size() const;
    /// options 2: create the file or replace an existing one; options 1: create it, failing when it
    /// exists. Atomic (temporary file in the target folder, renamed over the target when complete).
    /// Throws EMhtError; never leaves a partial file, and an existing target survives a failure.
    void SaveToFile(const QString &path, int options) const;

private:
    std::vector<QByteArray> chunks;
    mutable QByteArray joined;
    mutable bool isJoined = false;
};
