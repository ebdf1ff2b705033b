#include "tools/machine/description.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string_view>

namespace vorsk::machine {

namespace {

constexpr const char* kImageClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";
constexpr const char* kUsbClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{36FC9E60-C465-11CF-8056-444553540000}";

std::string TrimRight(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) {
    text.pop_back();
  }
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// "aa,bb,cc" (or nothing) into its bytes.
bool ParseBytes(const std::string& text, std::string& bytes) {
  bytes.clear();
  for (std::size_t at = 0; at < text.size(); at += 3) {
    const int high = HexDigit(text[at]);
    const int low = at + 1 < text.size() ? HexDigit(text[at + 1]) : -1;
    if (high < 0 || low < 0 || (at + 2 < text.size() && text[at + 2] != ',') ||
        at + 3 == text.size()) {
      return false;
    }
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

// A number of hex digits only, at most eight.
bool ParseHexNumber(const std::string& text, std::uint32_t& number) {
  number = 0;
  if (text.empty() || text.size() > 8) {
    return false;
  }
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) {
      return false;
    }
    number = number * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

bool ParseValue(const std::string& field, NamedValue& value) {
  const std::size_t equals = field.find('=');
  if (equals == std::string::npos || equals == 0) {
    return false;
  }
  value = NamedValue{};
  value.name = field.substr(0, equals) == "@" ? std::string() : field.substr(0, equals);
  const std::string data = field.substr(equals + 1);
  if (data.rfind("dword:", 0) == 0) {
    std::uint32_t number = 0;
    if (data.size() != 14 || !ParseHexNumber(data.substr(6), number)) {
      return false;
    }
    value.type = 4;  // REG_DWORD, least significant byte first
    value.bytes = true;
    for (int shift = 0; shift < 32; shift += 8) {
      value.data += static_cast<char>((number >> shift) & 0xff);
    }
    return true;
  }
  if (data.rfind("hex:", 0) == 0) {
    value.type = 3;  // REG_BINARY
    value.bytes = true;
    return ParseBytes(data.substr(4), value.data);
  }
  if (data.rfind("hex(", 0) == 0) {
    const std::size_t close = data.find("):");
    value.bytes = true;
    return close != std::string::npos && ParseHexNumber(data.substr(4, close - 4), value.type) &&
           ParseBytes(data.substr(close + 2), value.data);
  }
  value.data = data;
  return true;
}

bool ParseValues(const std::vector<std::string>& fields, std::size_t first,
                 std::vector<NamedValue>& values) {
  for (std::size_t i = first; i < fields.size(); ++i) {
    NamedValue value;
    if (!ParseValue(fields[i], value)) {
      return false;
    }
    values.push_back(value);
  }
  return true;
}

// A driver entry's fields from `first` on: "<class> <subkey>", then its values.
bool ParseDriver(const std::vector<std::string>& fields, std::size_t first, DriverEntry& driver) {
  const std::size_t gap = fields[first].find(' ');
  const std::string classKey = fields[first].substr(0, gap);
  driver.classKey = classKey == "image" ? kImageClassKey : classKey == "usb" ? kUsbClassKey : "";
  driver.subkey = gap == std::string::npos ? std::string() : fields[first].substr(gap + 1);
  return !driver.classKey.empty() && !driver.subkey.empty() &&
         ParseValues(fields, first + 1, driver.values);
}

}  // namespace

std::string HardwareIdList(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) {
    list += id;
    list += '\0';
  }
  list += '\0';
  return list;
}

std::vector<std::string> SplitFields(const std::string& rest) {
  std::vector<std::string> fields;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t bar = rest.find(" | ", begin);
    fields.push_back(
        rest.substr(begin, bar == std::string::npos ? std::string::npos : bar - begin));
    if (bar == std::string::npos) {
      return fields;
    }
    begin = bar + 3;
  }
}

std::optional<Description> ParseDescription(const std::string& text, std::string& error) {
  Description description;
  std::istringstream lines(text);
  std::string raw;
  int number = 0;
  std::optional<std::string> script;
  while (std::getline(lines, raw)) {
    ++number;
    const std::string line = TrimRight(raw);
    if (script) {
      if (line == "end script") {
        description.script = *script;
        script.reset();
      } else {
        *script += line + "\r\n";
      }
      continue;
    }
    if (line.empty() || line[0] == '#') {
      continue;
    }
    const std::size_t space = line.find(' ');
    const std::string kind = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    const std::vector<std::string> fields = SplitFields(rest);
    bool ok = true;
    if (kind == "script" && rest.empty()) {
      script = std::string();
    } else if (kind == "file" && !rest.empty()) {
      FileEntry file{fields[0]};
      for (std::size_t i = 1; i < fields.size() && ok; ++i) {
        if (fields[i] == "readonly") {
          file.readOnly = true;
        } else if (fields[i] == "hidden") {
          file.hidden = true;
        } else if (fields[i] == "system") {
          file.system = true;
        } else if (fields[i].rfind("size ", 0) == 0) {
          char* end = nullptr;
          file.size = std::strtoul(fields[i].c_str() + 5, &end, 10);
          ok = *end == '\0' && *file.size <= 16u << 20;
        } else {
          ok = false;
        }
      }
      description.files.push_back(file);
    } else if (kind == "driver") {
      DriverEntry driver;
      ok = ParseDriver(fields, 0, driver);
      description.drivers.push_back(driver);
    } else if (kind == "package" && fields.size() >= 2) {
      PackageEntry package{fields[0], {}};
      // Letters, digits, "_" and "-", and any character outside ASCII.
      ok = !package.name.empty() &&
           std::all_of(package.name.begin(), package.name.end(),
                       [](char c) {
                         return static_cast<unsigned char>(c) >= 0x80 ||
                                std::string_view(
                                    "abcdefghijklmnopqrstuvwxyz"
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-")
                                        .find(c) != std::string_view::npos;
                       }) &&
           ParseDriver(fields, 1, package.driver);
      description.packages.push_back(package);
    } else if (kind == "device" && !rest.empty()) {
      description.devices.push_back(
          DeviceEntry{fields[0], std::vector<std::string>(fields.begin() + 1, fields.end())});
    } else if (kind == "keys" && fields.size() == 2) {
      const unsigned long count = std::strtoul(fields[1].c_str(), nullptr, 10);
      ok = count > 0 && count <= 100000;
      description.keyRanges.push_back(KeyRange{fields[0], static_cast<unsigned>(count)});
    } else if (kind == "link" && fields.size() == 2) {
      description.links.push_back(LinkEntry{fields[0], fields[1]});
    } else if ((kind == "key" || kind == "key64") && !rest.empty()) {
      KeyEntry key{fields[0], {}, kind == "key64"};
      ok = ParseValues(fields, 1, key.values);
      description.keys.push_back(key);
    } else {
      description.otherLines.push_back(line);
    }
    if (!ok) {
      error = "line " + std::to_string(number) + ": cannot read \"" + line + "\"";
      return std::nullopt;
    }
  }
  if (script) {
    error = "the script has no \"end script\" line";
    return std::nullopt;
  }
  return description;
}

}  // namespace vorsk::machine
