#include "kvUtf8.h"

int TkvUtf8::SequenceLength(const unsigned char *s, qsizetype i, qsizetype n)
{
    const unsigned char b = s[i];
    if (b < 0x80)
        return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3;
        if (b == 0xE0)
            lo = 0xA0;
        if (b == 0xED)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4;
        if (b == 0xF0)
            lo = 0x90;
        if (b == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > n)
        return 0;
    if (s[i + 1] < lo || s[i + 1] > hi)
        return 0;
    for (int k = 2; k < len; ++k)
        if (s[i + k] < 0x80 || s[i + k] > 0xBF)
            return 0;
    return len;
}

bool TkvUtf8::IsValid(const QByteArray &bytes)
{
    const auto *s = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const int length = SequenceLength(s, i, n);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}
