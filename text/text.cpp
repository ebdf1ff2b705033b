#include "text/text.h"

#include <cstdio>

namespace vorsk {

namespace {

void AppendUtf8(std::string& utf8, std::uint32_t c) {
  if (c < 0x80) {
    utf8 += static_cast<char>(c);
  } else if (c < 0x800) {
    utf8 += static_cast<char>(0xC0 | c >> 6);
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    utf8 += static_cast<char>(0xE0 | c >> 12);
    utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | c >> 18);
    utf8 += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& utf16, std::uint32_t c) {
  if (c < 0x10000) {
    utf16 += static_cast<char16_t>(c);
    return;
  }
  c -= 0x10000;
  utf16 += static_cast<char16_t>(0xD800 + (c >> 10));
  utf16 += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
}

}  // namespace

bool EqualAsciiFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

bool StartsWithAsciiFolded(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualAsciiFolded(text.substr(0, prefix.size()), prefix);
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string utf8;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(utf8, c);
  }
  return utf8;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string utf16;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80                   ? 1
                       : lead >= 0xC2 && lead < 0xE0 ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
    std::uint32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : lead & (0x7F >> length);
    bool valid = length != 0 && i + length <= text.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point are not characters.
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && c >= least[length] && c < 0x110000 && (c < 0xD800 || c >= 0xE000);
    AppendUtf16(utf16, valid ? c : 0xFFFD);
    i += valid ? static_cast<std::size_t>(length) : 1;
  }
  return utf16;
}

std::u16string Utf16FromLeBytes(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
  return units;
}

std::string CountText(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string ErrorText(std::uint32_t error) {
  char text[9] = {};
  std::snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>(error));
  return text;
}

std::vector<std::string_view> PathComponentsOf(std::string_view path,
                                               const std::function<bool(std::uint8_t)>& isLead) {
  std::vector<std::string_view> components;
  std::size_t begin = 0;
  for (std::size_t at = 0; at < path.size(); ++at) {
    if (isLead(static_cast<std::uint8_t>(path[at])) && at + 1 < path.size()) {
      ++at;  // the character's second byte
    } else if (path[at] == '\\') {
      components.push_back(path.substr(begin, at - begin));
      begin = at + 1;
    }
  }
  components.push_back(path.substr(begin));
  return components;
}

std::string EscapeControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0xF];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

}  // namespace vorsk
