// The code page of the original form's names and texts, on Linux: Windows-1252, exactly as
// MultiByteToWideChar maps it (the five bytes the code page leaves open map to the C1 controls of
// the same value), with the contract of CodePageToWide in shared/u_codepage.h.
#pragma once
#include "u_payload.h"

inline Utf16Char Cp1252Unit(uint8_t b) {
    static const uint16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return static_cast<Utf16Char>(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b);
}

// Writes at most size - 1 units and a zero; the length, or -1 when the text does not fit.
inline int Cp1252ToUtf16(const char* text, int length, Utf16Char* out, int size) {
    if (size <= 0) return -1;
    out[0] = 0;
    if (length <= 0) return length == 0 ? 0 : -1;
    if (length > size - 1) return -1;
    for (int i = 0; i < length; ++i) out[i] = Cp1252Unit(static_cast<uint8_t>(text[i]));
    out[length] = 0;
    return length;
}
