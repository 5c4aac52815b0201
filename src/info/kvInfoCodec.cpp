#include "kvInfoCodec.h"

#include <QByteArray>

namespace {

const QLatin1String marker("W2AI1:");

/// splitmix64: a small, well-mixed generator; only the determinism per key matters here.
class KeyStream
{
public:
    explicit KeyStream(int32_t key) : state(0x9E3779B97F4A7C15ull ^ uint64_t(uint32_t(key)) * 0xD1B54A32D192ED03ull) {}
    uint8_t Next()
    {
        if (left == 0) {
            uint64_t z = (state += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            block = z ^ (z >> 31);
            left = 8;
        }
        const uint8_t b = uint8_t(block);
        block >>= 8;
        --left;
        return b;
    }

private:
    uint64_t state;
    uint64_t block = 0;
    int left = 0;
};

/// FNV-1a over the key's four bytes and the text, so the checksum itself depends on the key.
uint32_t Checksum(int32_t key, const QByteArray &plain)
{
    uint32_t h = 2166136261u;
    auto mix = [&h](uint8_t b) {
        h ^= b;
        h *= 16777619u;
    };
    const uint32_t k = uint32_t(key);
    for (int i = 0; i < 4; ++i)
        mix(uint8_t(k >> (8 * i)));
    for (char c : plain)
        mix(uint8_t(c));
    return h;
}

void Scramble(QByteArray &bytes, int32_t key)
{
    KeyStream stream(key);
    for (char &c : bytes)
        c = char(uint8_t(c) ^ stream.Next());
}

} // namespace

QString TkvInfoCodec::Encode(const QString &text, int32_t key)
{
    const QByteArray plain = text.toUtf8();
    const uint32_t sum = Checksum(key, plain);
    QByteArray payload;
    payload.reserve(plain.size() + 4);
    for (int i = 3; i >= 0; --i)
        payload.append(char(uint8_t(sum >> (8 * i))));
    payload.append(plain);
    Scramble(payload, key);
    return marker + QString::fromLatin1(payload.toHex());
}

std::optional<QString> TkvInfoCodec::Decode(const QString &encoded, int32_t key)
{
    QString body = encoded.trimmed();
    if (!body.startsWith(marker))
        return std::nullopt;
    body = body.mid(marker.size());
    if (body.size() % 2 != 0 || body.size() < 8)
        return std::nullopt;
    for (QChar c : body) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return std::nullopt;
    }
    QByteArray payload = QByteArray::fromHex(body.toLatin1());
    Scramble(payload, key);
    uint32_t sum = 0;
    for (int i = 0; i < 4; ++i)
        sum = sum << 8 | uint8_t(payload[i]);
    const QByteArray plain = payload.mid(4);
    if (Checksum(key, plain) != sum)
        return std::nullopt;
    return QString::fromUtf8(plain);
}
