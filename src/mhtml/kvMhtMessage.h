#pragma once

#include "kvFetcher.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

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

/// Builds a single-file web archive (MIME HTML, RFC 2557) of one page and everything it uses.
/// One message per conversion; messages on different threads share only the resource cache.
class TkvMhtMessage
{
public:
    TkvMhtMessage();
    ~TkvMhtMessage();

    bool MimeFormatted = true;
    /// Time-outs, size cap, redirects and proxy of every fetch; CreateMHTMLBody sets the user,
    /// password and whether file: URLs may be read from its own arguments.
    TkvFetchPolicy FetchPolicy;
    TkvMhtBodyPart &BodyPart() { return bodyPart; }

    /// Makes the fetcher CreateMHTMLBody reads the page and everything it uses with, from the page's
    /// canonical address and the policy CreateMHTMLBody worked out for it. Unset: a plain TkvFetcher.
    /// A converter that already holds some documents (the page as its scripts left it) answers them
    /// this way; the returned fetcher must keep `policy` (TkvFetcher's constructor argument). It may
    /// throw EMhtError, which fails the conversion like a page that cannot be read.
    using TFetcherFactory =
        std::function<std::unique_ptr<TkvFetcher>(const QString &pageUrl, const TkvFetchPolicy &policy)>;
    TFetcherFactory FetcherFactory;

    /// Fetches `url` (file:, http:, https:, or an absolute local path) and its resources and builds
    /// the message; `flags` (TkvMhtFlags) leave kinds of resources out; `user` and `password`
    /// authenticate HTTP requests. A resource that cannot be fetched is left out; an empty page gives
    /// the archive of a blank page. Throws EMhtError when the page itself cannot be read or is binary,
    /// or `Charset` is unknown.
    /// The message is always MIME formatted (MimeFormatted is kept for the converter's code).
    void CreateMHTMLBody(const QString &url, int flags, const QString &user, const QString &password);
    /// The message built by the last CreateMHTMLBody. REQUIRES: CreateMHTMLBody succeeded.
    TkvMhtStream GetStream() const;

private:
    TkvMhtBodyPart bodyPart;
    std::vector<QByteArray> chunks;
};
