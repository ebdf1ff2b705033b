// Text helpers shared by the core. Each kind of text has one encoding, and these are the only
// converters between them:
// - the ANSI code page: the removal script's entries, InfPath values, the paths the platform's
//   narrow calls take and give, standard output and standard error (the trace byte for byte);
// - UTF-8: the log and manifest.txt, and names read through the wide-character calls once they
//   are to be written as text;
// - UTF-16: names as the wide-character calls take and give them; UTF-16LE bytes are how the
//   registry stores string data.
// Code-page text becomes UTF-16 only through the host (Host::AnsiToWide), which knows the code
// page; the rest is here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorsk {

// ASCII letters folded to lower case, nothing else (no locale): how the platform compares device
// IDs and registry key names.
constexpr char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole texts, equal ASCII letter case aside.
bool EqualAsciiFolded(std::string_view a, std::string_view b);
// Whether `text` begins with `prefix`, ASCII letter case aside.
bool StartsWithAsciiFolded(std::string_view text, std::string_view prefix);

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);
// UTF-16 of UTF-8 text; a byte that begins no valid sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);
// The UTF-16 units of little-endian bytes, as the registry stores strings; an odd last byte is
// left out.
std::u16string Utf16FromLeBytes(std::string_view bytes);

// A count with its noun: "1 key", "2 keys".
std::string CountText(std::uint64_t count, std::string_view one, std::string_view many);

// The platform's error code as the log writes it: eight hex digits.
std::string ErrorText(std::uint32_t error);

// A line as the log, the listing and standard error write it: each byte below 0x20, and 0x7F,
// written as \xNN, so that one event stays one line whatever a name holds.
std::string EscapeControls(std::string_view text);

// The components of a path in the ANSI code page, between its separators ('\\'), empty ones
// included: the second byte of a double-byte character (`isLead` tells its first) is no separator,
// whatever it looks like (乗 is 81 5C in code page 936, 表 95 5C in 932).
std::vector<std::string_view> PathComponentsOf(std::string_view path,
                                               const std::function<bool(std::uint8_t)>& isLead);

}  // namespace vorsk
