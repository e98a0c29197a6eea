// ASCII character classes shared by the XML reader and the expression tokenizer.
#pragma once

inline bool isAsciiDigit(unsigned c)
{
    return c >= '0' && c <= '9';
}

inline bool isAsciiLetter(unsigned c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

/// The value of a hexadecimal digit of either case, or -1.
inline int hexDigitValue(unsigned c)
{
    if (isAsciiDigit(c))
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}
