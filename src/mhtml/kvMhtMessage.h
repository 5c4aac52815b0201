#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <stdexcept>

/// Every failure of the archive engine: a sentence a person can read, naming the file or address and
/// the cause (UTF-8 in what()).
class EMhtError : public std::runtime_error
{
public:
    explicit EMhtError(const QString &message) : std::runtime_error(message.toStdString()) {}
};

/// Flags of CreateMHTMLBody: each suppresses one kind of resource; 0 embeds everything.
enum TkvMhtFlags
{
    mhtSuppressNone = 0,
    mhtSuppressImages = 1,
    mhtSuppressBGSounds = 2,
    mhtSuppressFrames = 4,
    mhtSuppressObjects = 8,
    mhtSuppressStyleSheets = 16,
    mhtSuppressAll = 31,
};

/// The main body part of a message; only its character set is settable.
class TkvMhtBodyPart
{
public:
    QString Charset; ///< empty: keep the page's own charset
};

/// The whole message in its stored form.
class TkvMhtStream
{
public:
    explicit TkvMhtStream(QByteArray bytes = {}) : data(std::move(bytes)) {}
    const QByteArray &Bytes() const { return data; }
    /// options 2: create the file or replace an existing one, atomically (temporary file in the target
    /// folder, renamed over the target when complete). Throws EMhtError; never leaves a partial file.
    void SaveToFile(const QString &path, int options) const;

private:
    QByteArray data;
};

/// Builds a single-file web archive (MIME HTML, RFC 2557) of one page and everything it uses.
/// One message per conversion; messages on different threads share only the resource cache.
class TkvMhtMessage
{
public:
    TkvMhtMessage();
    ~TkvMhtMessage();

    bool MimeFormatted = true;
    TkvMhtBodyPart &BodyPart() { return bodyPart; }

    /// Fetches `url` (file:, http:, https:) and its resources and builds the message.
    /// Throws EMhtError when the page itself cannot be read or `Charset` is unknown.
    void CreateMHTMLBody(const QString &url, int flags, const QString &user, const QString &password);
    /// The message built by the last CreateMHTMLBody. REQUIRES: CreateMHTMLBody succeeded.
    TkvMhtStream GetStream() const;

private:
    TkvMhtBodyPart bodyPart;
    QByteArray message;
};
