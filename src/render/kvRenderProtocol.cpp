#include "kvRenderProtocol.h"

namespace {

void putNumber(QByteArray &out, std::uint32_t value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

void putBytes(QByteArray &out, const QByteArray &bytes)
{
    putNumber(out, std::uint32_t(bytes.size()));
    out.append(bytes);
}

/// A payload with room for its length prefix, which `frame` fills in.
QByteArray startFrame(char kind)
{
    QByteArray out(4, '\0');
    out.append(kind);
    return out;
}

QByteArray frame(QByteArray out)
{
    const std::uint32_t length = std::uint32_t(out.size() - 4);
    for (int i = 0; i < 4; ++i)
        out[i] = char(length >> (24 - 8 * i));
    return out;
}

/// Reads fields of a payload in order; any read past the end marks it bad.
class TFieldReader
{
public:
    explicit TFieldReader(const QByteArray &payload) : data(payload), at(1) {}

    std::uint32_t Number()
    {
        if (data.size() - at < 4) {
            bad = true;
            return 0;
        }
        const auto *p = reinterpret_cast<const unsigned char *>(data.constData() + at);
        at += 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    }

    QByteArray Bytes()
    {
        const std::uint32_t length = Number();
        if (bad || qsizetype(length) > data.size() - at) {
            bad = true;
            return {};
        }
        QByteArray bytes = data.mid(at, length);
        at += length;
        return bytes;
    }

    QString Text() { return QString::fromUtf8(Bytes()); }
    bool Flag() { return Number() != 0; }
    /// True when every field read was there and nothing is left over.
    bool Complete() const { return !bad && at == data.size(); }
    bool Bad() const { return bad; }

private:
    const QByteArray &data;
    qsizetype at;
    bool bad = false;
};

} // namespace

QByteArray TkvRenderCodec::EncodeHello(std::uint32_t version)
{
    QByteArray out = startFrame('H');
    putNumber(out, version);
    return frame(std::move(out));
}

QByteArray TkvRenderCodec::EncodeRequest(const TkvRenderRequest &request)
{
    QByteArray out = startFrame('Q');
    putNumber(out, request.id);
    putNumber(out, request.limitMs);
    putBytes(out, request.address.toUtf8());
    return frame(std::move(out));
}

QByteArray TkvRenderCodec::EncodeReply(const TkvRenderReply &reply)
{
    QByteArray out = startFrame('A');
    putNumber(out, reply.id);
    putNumber(out, reply.ok ? 0 : 1);
    putNumber(out, reply.settled ? 1 : 0);
    putBytes(out, reply.message.toUtf8());
    putNumber(out, std::uint32_t(reply.documents.size()));
    for (const TkvRenderDocument &document : reply.documents) {
        putBytes(out, document.address.toUtf8());
        putBytes(out, document.html);
    }
    return frame(std::move(out));
}

char TkvRenderCodec::Kind(const QByteArray &payload)
{
    return payload.isEmpty() ? 0 : payload.at(0);
}

std::optional<std::uint32_t> TkvRenderCodec::DecodeHello(const QByteArray &payload)
{
    if (Kind(payload) != 'H')
        return std::nullopt;
    TFieldReader fields(payload);
    const std::uint32_t version = fields.Number();
    return fields.Complete() ? std::optional(version) : std::nullopt;
}

std::optional<TkvRenderRequest> TkvRenderCodec::DecodeRequest(const QByteArray &payload)
{
    if (Kind(payload) != 'Q')
        return std::nullopt;
    TFieldReader fields(payload);
    TkvRenderRequest request;
    request.id = fields.Number();
    request.limitMs = fields.Number();
    request.address = fields.Text();
    return fields.Complete() ? std::optional(request) : std::nullopt;
}

std::optional<TkvRenderReply> TkvRenderCodec::DecodeReply(const QByteArray &payload)
{
    if (Kind(payload) != 'A')
        return std::nullopt;
    TFieldReader fields(payload);
    TkvRenderReply reply;
    reply.id = fields.Number();
    reply.ok = fields.Number() == 0;
    reply.settled = fields.Flag();
    reply.message = fields.Text();
    const std::uint32_t count = fields.Number();
    // Each document needs at least its two length fields: a count beyond that is a lie, not a reason to
    // reserve memory.
    if (fields.Bad() || count > std::uint32_t(payload.size() / 8))
        return std::nullopt;
    for (std::uint32_t i = 0; i < count && !fields.Bad(); ++i) {
        TkvRenderDocument document;
        document.address = fields.Text();
        document.html = fields.Bytes();
        reply.documents.push_back(std::move(document));
    }
    return fields.Complete() ? std::optional(std::move(reply)) : std::nullopt;
}

void TkvRenderFrameReader::Append(const char *data, qsizetype size)
{
    if (failed)
        return;
    if (offset > 0 && offset == buffer.size()) {
        buffer.clear();
        offset = 0;
    }
    buffer.append(data, size);
}

std::optional<QByteArray> TkvRenderFrameReader::Next()
{
    if (failed || buffer.size() - offset < 4)
        return std::nullopt;
    const auto *p = reinterpret_cast<const unsigned char *>(buffer.constData() + offset);
    const std::uint32_t length = std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    if (length > kvRenderProtocol::MaxFrameBytes) {
        failed = true;
        buffer.clear();
        offset = 0;
        return std::nullopt;
    }
    if (buffer.size() - offset - 4 < qsizetype(length))
        return std::nullopt;
    QByteArray payload = buffer.mid(offset + 4, length);
    offset += 4 + length;
    if (offset == buffer.size()) {
        buffer.clear();
        offset = 0;
    } else if (offset > 1024 * 1024 && offset > buffer.size() / 2) {
        buffer.remove(0, offset); // keep what is handed out from piling up in front
        offset = 0;
    }
    return payload;
}
