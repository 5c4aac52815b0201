#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

/// The transfer encodings the writer produces (RFC 2045 section 6).
enum class TkvTransferEncoding
{
    QuotedPrintable,
    Base64,
};

/// One part of a message as chunks whose concatenation is the part: its headers, then its encoded
/// body. A body encoded once can so stand under several headers and in several messages uncopied.
using TkvMimePart = std::vector<QByteArray>;

/// Encoders and the layout of a multipart/related message (RFC 2557, 2045-2047, 5322) as browsers
/// read it: every line ends with CR LF, no encoded body line is longer than 76 characters, and
/// decoding a body gives back exactly the bytes that were encoded (bare CR and LF included).
///
/// Encoding a body is the expensive step, so it is separate from assembling the message: a body
/// encoded once (EncodePart) can be reused by any number of messages (the chunks are implicitly
/// shared QByteArrays, so reuse copies nothing).
///
/// Thread rules: the static functions are reentrant; an instance is used by one thread.
class TkvMimeWriter
{
public:
    /// Appends the quoted-printable form of `data`. A CR LF pair becomes a hard line break; a bare CR
    /// or LF is written as =0D / =0A followed by a soft line break, so it survives decoding unchanged.
    /// A space or tab before a hard break or at the end is encoded.
    static void AppendQuotedPrintable(QByteArray &out, std::string_view data);
    /// Appends base64 (RFC 4648 alphabet, padded) in lines of 76 characters, each ended by CR LF.
    static void AppendBase64(QByteArray &out, std::string_view data);
    /// The header value for a text: the text itself when it is printable ASCII, else RFC 2047 UTF-8
    /// "B" encoded words of at most 75 characters, folded with CR LF + space between words.
    static QByteArray EncodeHeaderText(const QString &text);
    /// An RFC 5322 date in UTC ("Wed, 09 Dec 2026 08:06:46 +0000").
    static QByteArray FormatDate(const QDateTime &time);
    /// A boundary derived from `digest` (any bytes); it contains "=_", which neither quoted-printable
    /// nor base64 text can contain, so it never occurs inside an encoded body.
    static QByteArray MakeBoundary(const QByteArray &digest);

    /// The headers and encoded body of one part, without the delimiter line before it:
    /// PartHeaders followed by EncodeBody.
    static QByteArray EncodePart(const QByteArray &contentType, const QByteArray &location,
                                 TkvTransferEncoding encoding, std::string_view body);
    /// The headers of one part, up to and including the empty line before its body. `contentType` is
    /// the full value (with its charset parameter when there is one); `location` must be an absolute
    /// URL.
    static QByteArray PartHeaders(const QByteArray &contentType, const QByteArray &location,
                                  TkvTransferEncoding encoding);
    /// `body` in the transfer encoding, as it follows the headers of its part.
    static QByteArray EncodeBody(TkvTransferEncoding encoding, std::string_view body);

    /// Top headers of the archive. `subject` may be any text; `location` is the page's real address.
    struct TopHeaders
    {
        QString subject;
        QByteArray location;
        QDateTime date;
    };

    /// Lays out a complete message from parts (EncodePart, or PartHeaders and EncodeBody), the first
    /// being the page. Returns the message as a list of chunks whose concatenation is the whole
    /// message. REQUIRES: at least one part; `boundary` from MakeBoundary.
    static std::vector<QByteArray> Assemble(const TopHeaders &headers, const QByteArray &boundary,
                                            const std::vector<TkvMimePart> &parts);

private:
    /// Room set aside for the quoted-printable form of `bytes` bytes before encoding starts.
    static qsizetype QuotedPrintableReserve(size_t bytes);
    /// Room set aside for the encoded form of `bytes` bytes.
    static qsizetype bodyRoom(TkvTransferEncoding encoding, size_t bytes);
    static void appendBody(QByteArray &out, TkvTransferEncoding encoding, std::string_view body);
};
