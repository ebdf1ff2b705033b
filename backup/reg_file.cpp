#include "backup/reg_file.h"

#include "text/text.h"

namespace vorsk {

namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

// A hex line is broken after the comma that brings it to this many characters or more, so that
// with the trailing '\' it holds at most 80 (more only when the name alone is nearly that long:
// such a line holds one byte). A continued line starts with two blanks and holds 25 bytes. This
// is how the registry editor wraps its exports.
constexpr std::size_t kWrapColumn = 77;
constexpr std::u16string_view kContinuation = u"\\\r\n  ";
constexpr std::size_t kContinuationIndent = 2;

bool IsLineBreakOrZero(char16_t c) {
  return c == u'\r' || c == u'\n' || c == u'\0';
}

char16_t HexDigit(unsigned value) {
  return static_cast<char16_t>(value < 10 ? u'0' + value : u'a' + (value - 10));
}

// The number in lowercase hex without leading zeros, as in hex(b).
std::u16string HexNumber(std::uint32_t value) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), HexDigit(value % 16));
    value /= 16;
  } while (value != 0);
  return digits;
}

// Text between quotes: '\' and '"' escaped with '\'.
std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') {
      quoted += u'\\';
    }
    quoted += c;
  }
  quoted += u'"';
  return quoted;
}

// The text of REG_SZ data that can be written between quotes, or nothing. The data is empty or
// ends in a zero unit (CanWriteValue); it is quoted when it is not empty and that zero is its
// only one, with no line break before it.
std::optional<std::u16string> QuotableText(const std::string& data) {
  if (data.empty()) {
    return std::nullopt;
  }
  std::u16string units = Utf16FromLeBytes(data);
  units.pop_back();
  for (char16_t c : units) {
    if (IsLineBreakOrZero(c)) {
      return std::nullopt;
    }
  }
  return units;
}

// "hex:" or "hex(n):", then the bytes as two lowercase hex digits separated by commas, wrapped
// after kWrapColumn characters; `start` is what precedes it on the line (the name and '=').
std::u16string HexData(std::size_t start, std::uint32_t type, const std::string& data) {
  std::u16string text = type == kRegBinary ? u"hex:" : u"hex(" + HexNumber(type) + u"):";
  std::size_t column = start + text.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    text += HexDigit(byte / 16);
    text += HexDigit(byte % 16);
    if (i + 1 == data.size()) {
      break;
    }
    text += u',';
    column += 3;
    if (column >= kWrapColumn) {
      text += kContinuation;
      column = kContinuationIndent;
    }
  }
  return text;
}

// "dword:" and the value in 8 lowercase hex digits, from its 4 little-endian bytes.
std::u16string DwordData(const std::string& data) {
  std::u16string text = u"dword:";
  for (std::size_t i = 4; i-- > 0;) {
    const auto byte = static_cast<unsigned char>(data[i]);
    text += HexDigit(byte / 16);
    text += HexDigit(byte % 16);
  }
  return text;
}

// One value's line (or wrapped lines), without the final line end.
std::u16string ValueLine(const RegFileValue& value) {
  std::u16string line = value.name.empty() ? u"@" : Quoted(value.name);
  line += u'=';
  if (value.type == kRegSz) {
    if (std::optional<std::u16string> text = QuotableText(value.data)) {
      return line + Quoted(*text);
    }
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    return line + DwordData(value.data);
  }
  return line + HexData(line.size(), value.type, value.data);
}

}  // namespace

std::u16string RegFileHeader() {
  return u"Windows Registry Editor Version 5.00\r\n\r\n";
}

bool CanWriteKeyName(std::u16string_view path) {
  if (path.empty() || path.front() == u'-' || path.back() == u'\\') {
    return false;
  }
  if (path.find(u"\\\\") != std::u16string_view::npos) {
    return false;
  }
  const std::size_t root = path.find(u'\\');
  if (root != std::u16string_view::npos && path.size() - root - 1 > kMaxKeyPathBelowRoot) {
    return false;
  }
  for (char16_t c : path) {
    if (IsLineBreakOrZero(c)) {
      return false;
    }
  }
  return true;
}

bool CanWriteValueName(std::u16string_view name) {
  for (char16_t c : name) {
    if (IsLineBreakOrZero(c)) {
      return false;
    }
  }
  return true;
}

bool CanWriteValue(const RegFileValue& value) {
  if (!CanWriteValueName(value.name)) {
    return false;
  }
  const bool stringType =
      value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz;
  if (!stringType || value.data.empty()) {
    return true;
  }
  const std::size_t size = value.data.size();
  return size % 2 == 0 && value.data[size - 2] == '\0' && value.data[size - 1] == '\0';
}

std::optional<std::u16string> RegFileKeyBlock(std::u16string_view path,
                                              const std::vector<RegFileValue>& values) {
  if (!CanWriteKeyName(path)) {
    return std::nullopt;
  }
  std::u16string block = u"[";
  block += path;
  block += u"]";
  block += kLineEnd;
  for (const RegFileValue& value : values) {
    if (!CanWriteValue(value)) {
      return std::nullopt;
    }
    block += ValueLine(value);
    block += kLineEnd;
  }
  block += kLineEnd;
  return block;
}

std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xff);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::string RegFileBytes(std::u16string_view text) {
  return "\xff\xfe" + Utf16LeBytes(text);
}

}  // namespace vorsk
