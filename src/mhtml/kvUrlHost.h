#pragma once

#include <QString>

#include <optional>

/// The WHATWG URL Standard's host parser for special schemes (http, https, file, ...): percent-decoding,
/// IDNA to ASCII (punycode), forbidden code points, and IPv4 (decimal, octal, hex, short forms) and
/// IPv6 addresses. Stateless; any thread.
class TkvUrlHost
{
public:
    /// The serialized host ("example.com", "xn--bcher-kva.example", "127.0.0.1", "[::1]") of the
    /// authority text `input`, or nullopt when it is not a valid host. An empty input is not valid.
    static std::optional<QString> Parse(const QString &input);
};
