#pragma once

#include <QByteArrayView>
#include <cstdio>
#include <cstdlib>

// What the client's fuzz targets check with: a broken rule names itself on
// stderr and aborts, which libFuzzer reports as a finding with the input.
[[noreturn]] inline void FuzzBroken(const char* rule, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, rule);
    std::abort();
}
#define FUZZ_CHECK(rule) ((rule) ? void() : FuzzBroken(#rule, __FILE__, __LINE__))

// Whether bytes are UTF-8 as a strict decoder takes it: every sequence the
// shortest for its code point, no surrogates, nothing above U+10FFFF, none
// cut off. Decodes each code point, so that it does not share its way of
// working with the reader's validator.
inline bool IsStrictUtf8(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned codePoint = 0;
        unsigned smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
            smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
            smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
            smallest = 0x10000;
        } else {
            return false;
        }
        if (n - i < length)
            return false;
        for (int k = 1; k < length; ++k) {
            const unsigned next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < smallest || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}
