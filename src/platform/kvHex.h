#pragma once

/// Hexadecimal digits as every reader of the program's formats takes them (character references,
/// CSS escapes, IPv6 addresses, option values, regular expressions). Stateless; any thread.
class TkvHex
{
public:
    /// The value of '0'-'9', 'a'-'f' or 'A'-'F'; -1 for any other code unit or code point.
    static constexpr int DigitValue(char32_t c)
    {
        if (c >= U'0' && c <= U'9')
            return int(c - U'0');
        if (c >= U'a' && c <= U'f')
            return int(c - U'a') + 10;
        if (c >= U'A' && c <= U'F')
            return int(c - U'A') + 10;
        return -1;
    }
    static constexpr bool IsDigit(char32_t c) { return DigitValue(c) >= 0; }
};
