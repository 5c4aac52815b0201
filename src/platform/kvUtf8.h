#pragma once

#include <QByteArray>

/// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF), as the
/// program tells text from other bytes: file names, pages without a declared charset, addresses.
/// Stateless; any thread.
class TkvUtf8
{
public:
    /// The length of the well-formed sequence that starts at s[i] (1 to 4), or 0 when the byte there
    /// does not start one. REQUIRES: i < n.
    static int SequenceLength(const unsigned char *s, qsizetype i, qsizetype n);
    /// True when every byte of `bytes` belongs to a well-formed sequence.
    static bool IsValid(const QByteArray &bytes);
};
