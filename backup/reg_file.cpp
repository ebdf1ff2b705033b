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

namespace {

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  if (c >= u'a' && c <= u'f') {
    return c - u'a' + 10;
  }
  if (c >= u'A' && c <= u'F') {
    return c - u'A' + 10;
  }
  return -1;
}

// Reads text between quotes at `at` ('\' escapes the character after it), leaving `at` past the
// closing quote; nothing when there is no closing quote.
std::optional<std::u16string> ReadQuoted(std::u16string_view line, std::size_t& at) {
  if (at >= line.size() || line[at] != u'"') {
    return std::nullopt;
  }
  std::u16string text;
  for (++at; at < line.size(); ++at) {
    if (line[at] == u'\\') {
      if (++at == line.size()) {
        return std::nullopt;
      }
      text += line[at];
    } else if (line[at] == u'"') {
      ++at;
      return text;
    } else {
      text += line[at];
    }
  }
  return std::nullopt;
}

// "xx,xx,...": bytes of two hex digits separated by commas; nothing when malformed.
std::optional<std::string> ReadHexBytes(std::u16string_view text) {
  std::string bytes;
  for (std::size_t at = 0; at < text.size();) {
    if (at + 2 > text.size() || HexValue(text[at]) < 0 || HexValue(text[at + 1]) < 0) {
      return std::nullopt;
    }
    bytes += static_cast<char>(HexValue(text[at]) * 16 + HexValue(text[at + 1]));
    at += 2;
    if (at < text.size()) {
      if (text[at] != u',' || at + 1 == text.size()) {
        return std::nullopt;
      }
      ++at;
    }
  }
  return bytes;
}

// The data after '=' of a value line: its type and bytes.
bool ReadData(std::u16string_view data, RegFileValue& value) {
  if (!data.empty() && data.front() == u'"') {
    std::size_t at = 0;
    const std::optional<std::u16string> text = ReadQuoted(data, at);
    if (!text || at != data.size()) {
      return false;
    }
    value.type = kRegSz;
    value.data = Utf16LeBytes(*text) + std::string(2, '\0');
    return true;
  }
  constexpr std::u16string_view kDword = u"dword:";
  if (data.substr(0, kDword.size()) == kDword) {
    const std::u16string_view digits = data.substr(kDword.size());
    if (digits.size() != 8) {
      return false;
    }
    std::uint32_t number = 0;
    for (const char16_t c : digits) {
      if (HexValue(c) < 0) {
        return false;
      }
      number = number * 16 + static_cast<std::uint32_t>(HexValue(c));
    }
    value.type = kRegDword;
    value.data.clear();
    for (int i = 0; i < 4; ++i) {
      value.data += static_cast<char>((number >> (8 * i)) & 0xff);
    }
    return true;
  }
  std::size_t colon = 0;
  if (data.substr(0, 4) == u"hex:") {
    value.type = kRegBinary;
    colon = 3;
  } else if (data.substr(0, 4) == u"hex(") {
    const std::size_t close = data.find(u')');
    if (close == std::u16string_view::npos || close == 4 || close > 12 ||
        close + 1 >= data.size() || data[close + 1] != u':') {
      return false;
    }
    std::uint32_t type = 0;
    for (std::size_t i = 4; i < close; ++i) {
      if (HexValue(data[i]) < 0) {
        return false;
      }
      type = type * 16 + static_cast<std::uint32_t>(HexValue(data[i]));
    }
    value.type = type;
    colon = close + 1;
  } else {
    return false;
  }
  const std::optional<std::string> bytes = ReadHexBytes(data.substr(colon + 1));
  if (!bytes) {
    return false;
  }
  value.data = *bytes;
  return true;
}

}  // namespace

std::optional<std::vector<RegFileKey>> ReadRegFile(std::string_view bytes, std::string& why) {
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xff\xfe" || bytes.size() % 2 != 0) {
    why = "it is no registry file in UTF-16LE";
    return std::nullopt;
  }
  const std::u16string text = Utf16FromLeBytes(bytes.substr(2));
  const std::u16string header = RegFileHeader();
  if (text.compare(0, header.size(), header) != 0) {
    why = "it does not begin as a registry file of version 5";
    return std::nullopt;
  }
  std::vector<RegFileKey> keys;
  std::size_t number = 2;
  std::u16string pending;  // a hex value line continued on the next
  for (std::size_t at = header.size(); at < text.size();) {
    std::size_t end = text.find(kLineEnd, at);
    if (end == std::u16string::npos) {
      end = text.size();
    }
    std::u16string_view line(text.data() + at, end - at);
    at = end + kLineEnd.size();
    ++number;
    const auto malformed = [&]() {
      why = "its line " + std::to_string(number) + " cannot be read";
      return std::nullopt;
    };
    if (!pending.empty()) {
      const std::size_t blanks = line.find_first_not_of(u' ');
      line.remove_prefix(blanks == std::u16string_view::npos ? line.size() : blanks);
    }
    if (!line.empty() && line.back() == u'\\' && line.size() >= 2 &&
        line[line.size() - 2] == u',') {
      pending += line.substr(0, line.size() - 1);
      continue;
    }
    std::u16string whole = pending + std::u16string(line);
    pending.clear();
    if (whole.empty()) {
      continue;
    }
    if (whole.front() == u'[') {
      if (whole.back() != u']' || whole.size() < 3 || whole[1] == u'-') {
        return malformed();
      }
      keys.push_back({whole.substr(1, whole.size() - 2), {}});
      continue;
    }
    if (keys.empty()) {
      return malformed();
    }
    RegFileValue value;
    std::size_t position = 0;
    if (whole.front() == u'@') {
      position = 1;
    } else {
      const std::optional<std::u16string> name = ReadQuoted(whole, position);
      if (!name) {
        return malformed();
      }
      value.name = *name;
    }
    if (position >= whole.size() || whole[position] != u'=' ||
        !ReadData(std::u16string_view(whole).substr(position + 1), value)) {
      return malformed();
    }
    keys.back().values.push_back(std::move(value));
  }
  if (!pending.empty()) {
    why = "it ends inside a value";
    return std::nullopt;
  }
  return keys;
}

}  // namespace vorsk
