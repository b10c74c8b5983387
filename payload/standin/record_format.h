// The record file of the stand-in programs: what one start writes and how a
// reader takes it apart again. Shared by the stand-in and the test reader so
// that both sides agree on every byte.
//
// One start is one line, UTF-8, ending in "\n":
//   module path \t command line \t current directory \t show-window value
// The show-window value is decimal: STARTUPINFO.wShowWindow when the start
// carried STARTF_USESHOWWINDOW, else -1. Inside the three texts every
// character below U+0020 and every '%' is written as '%' and two upper-case
// hex digits, so a field never holds a tab or a line break and decodes back
// to exactly what the program saw.
#pragma once

#include <cstddef>
#include <string>

namespace si_standin {

// Environment of a stand-in start.
constexpr wchar_t kRecordVar[] = L"SETUPINSTALL_STANDIN_RECORD";   // record file to append to
constexpr wchar_t kExitVar[] = L"SETUPINSTALL_STANDIN_EXIT";       // exit code, default 0
constexpr wchar_t kSleepVar[] = L"SETUPINSTALL_STANDIN_SLEEP_MS";  // wait before exiting, default 0
// Per-program overrides: the name above + "_" + the program's file name
// without extension, upper case (SETUPINSTALL_STANDIN_EXIT_CORVANE64).

// Writes `length` bytes of UTF-8 `text` into `out` with the escapes described
// above; `*written` bytes fit. False when the whole text did not fit.
inline bool EscapeInto(char* out, size_t capacity, const char* text, size_t length, size_t* written) {
    static const char kHex[] = "0123456789ABCDEF";
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool escape = c < 0x20 || c == '%';
        if (n + (escape ? 3 : 1) > capacity) {
            *written = n;
            return false;
        }
        if (escape) {
            out[n++] = '%';
            out[n++] = kHex[c >> 4];
            out[n++] = kHex[c & 0x0F];
        } else {
            out[n++] = static_cast<char>(c);
        }
    }
    *written = n;
    return true;
}

// Undoes EscapeInto. False on a '%' not followed by two hex digits.
inline bool Unescape(const std::string& field, std::string* text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    text->clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            text->push_back(field[i]);
            continue;
        }
        if (i + 2 >= field.size()) return false;
        int hi = hex(field[i + 1]);
        int lo = hex(field[i + 2]);
        if (hi < 0 || lo < 0) return false;
        text->push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return true;
}

}  // namespace si_standin
