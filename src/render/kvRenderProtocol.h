#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

/// The pipe protocol between the converter and its page renderer, the helper program web2arc-render.
///
/// The converter writes to the renderer's standard input and reads its standard output. Both directions
/// carry frames: a 4-byte big-endian payload length, then that many payload bytes. A payload begins with
/// one byte naming the message; its fields follow in the order listed, integers as 4-byte big-endian
/// unsigned numbers, texts and byte strings as a 4-byte length followed by that many bytes (texts are
/// UTF-8).
///
///   'H' hello    renderer -> converter, once, first: protocol version (ProtocolVersion).
///   'Q' request  converter -> renderer: id, limit in milliseconds, page address (file:, http:, https:).
///   'A' reply    renderer -> converter: id, status (0 rendered, 1 failed), settled (1 when the page
///                went quiet before the limit, 0 when it was taken as it stood at the limit), message
///                (the error a person reads when failed, else empty), document count, then for each
///                document its address and its HTML (UTF-8 bytes).
///
/// The documents of a reply: the first is the page itself under the address it ended at (after
/// redirects); each further one is a frame's document under the absolute address its frame element
/// names (so the archive engine, resolving the same element, asks for exactly that address), down to
/// MaxFrameDepth levels. Each is the document as its scripts left it, scripts removed.
///
/// The converter may send several requests before any reply; replies come in any order and carry their
/// request's id. The renderer ends when its input ends. A frame longer than MaxFrameBytes, or a payload
/// that does not parse, is a protocol error: the reader gives up and the connection is ended.
namespace kvRenderProtocol {

constexpr std::uint32_t ProtocolVersion = 1;
constexpr std::uint32_t MaxFrameBytes = 256u * 1024 * 1024;
constexpr int MaxFrameDepth = 5;

} // namespace kvRenderProtocol

/// A page the converter wants rendered.
struct TkvRenderRequest
{
    std::uint32_t id = 0;
    std::uint32_t limitMs = 10000; ///< the renderer answers within this time (plus a few seconds)
    QString address;
};

/// One document of a rendered page.
struct TkvRenderDocument
{
    QString address;
    QByteArray html; ///< UTF-8
};

/// The renderer's answer to one request.
struct TkvRenderReply
{
    std::uint32_t id = 0;
    bool ok = false;
    bool settled = false;
    QString message; ///< failed: what went wrong, as a sentence naming the page
    std::vector<TkvRenderDocument> documents;
};

/// Encoding and decoding of whole frames (length prefix included). Stateless; any thread.
class TkvRenderCodec
{
public:
    static QByteArray EncodeHello(std::uint32_t version = kvRenderProtocol::ProtocolVersion);
    static QByteArray EncodeRequest(const TkvRenderRequest &request);
    static QByteArray EncodeReply(const TkvRenderReply &reply);

    /// The message kind of a payload ('H', 'Q', 'A'), or 0 for an empty payload.
    static char Kind(const QByteArray &payload);
    /// Each returns nothing when the payload is not a well-formed message of its kind.
    static std::optional<std::uint32_t> DecodeHello(const QByteArray &payload);
    static std::optional<TkvRenderRequest> DecodeRequest(const QByteArray &payload);
    static std::optional<TkvRenderReply> DecodeReply(const QByteArray &payload);
};

/// Splits a byte stream into frame payloads. Feed it what was read with Append, then take complete
/// payloads with Next. Once a length above MaxFrameBytes was seen it stays Failed and yields nothing.
/// Not thread-safe: one reader per stream.
class TkvRenderFrameReader
{
public:
    void Append(const char *data, qsizetype size);
    /// The next complete payload, or nothing when more bytes are needed (or the stream failed).
    std::optional<QByteArray> Next();
    bool Failed() const { return failed; }

private:
    QByteArray buffer;
    qsizetype offset = 0; ///< bytes of buffer already handed out
    bool failed = false;
};
