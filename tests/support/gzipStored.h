#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

/// A gzip member (RFC 1952) holding `data` in stored deflate blocks: a real Content-Encoding that an HTTP
/// client must undo, without a compressor in the tests.
inline std::string gzipStored(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    std::string out("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\xFF", 10);
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, data.size() - at);
        const bool last = at + n == data.size();
        out += char(last ? 1 : 0);
        out += char(n & 0xFF);
        out += char(n >> 8);
        out += char(~n & 0xFF);
        out += char((~n >> 8) & 0xFF);
        out.append(data, at, n);
        at += n;
    } while (at < data.size());
    for (uint32_t v : {crc, uint32_t(data.size())})
        for (int k = 0; k < 4; ++k)
            out += char((v >> (8 * k)) & 0xFF);
    return out;
}
