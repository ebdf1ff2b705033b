// The registry editor's text format: every value type and shape in its exact line, the wrapping
// of long hex data, what is refused, the header and the file's bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "backup/reg_file.h"

namespace vorsk {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

constexpr std::u16string_view kKey = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Scanner";

// Stored string data: the units in UTF-16LE, then a zero unit.
std::string Sz(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xff);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes + std::string(2, '\0');
}

// The bytes 0, 1, 2, ... (count of them, wrapping at 256).
std::string Counting(std::size_t count) {
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) {
    bytes += static_cast<char>(i % 256);
  }
  return bytes;
}

// The key block of kKey holding these values, or nothing when refused.
std::optional<std::u16string> Block(const std::vector<RegFileValue>& values) {
  return RegFileKeyBlock(kKey, values);
}

// The block expected for kKey with these lines.
std::u16string ExpectedBlock(std::u16string_view lines) {
  return u"[" + std::u16string(kKey) + u"]\r\n" + std::u16string(lines) + u"\r\n\r\n";
}

// Reading the file back gives every value exactly: its name, type and bytes.
void ExpectReadsBack(const std::vector<RegFileValue>& values) {
  const std::optional<std::u16string> block = RegFileKeyBlock(kKey, values);
  ASSERT_TRUE(block);
  std::string why;
  const auto keys = ReadRegFile(RegFileBytes(RegFileHeader() + *block + *block), why);
  ASSERT_TRUE(keys) << why;
  ASSERT_EQ(keys->size(), 2u);
  for (const RegFileKey& key : *keys) {
    EXPECT_EQ(key.path, kKey);
    ASSERT_EQ(key.values.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      EXPECT_EQ(key.values[i].name, values[i].name);
      EXPECT_EQ(key.values[i].type, values[i].type);
      EXPECT_EQ(key.values[i].data, values[i].data);
    }
  }
}

struct LineCase {
  const char* what;
  RegFileValue value;
  std::u16string line;
};

TEST(RegFileValueLine, EachTypeAndShape) {
  const std::string dword = "\x78\x56\x34\x12";
  const LineCase cases[] = {
      // REG_SZ: quoted when it round-trips, hex(1) otherwise.
      {"plain string, backslash escaped",
       {u"Path", kRegSz, Sz(u"C:\\Scan")},
       u"\"Path\"=\"C:\\\\Scan\""},
      {"quotes and backslashes in name and data",
       {u"say \"hi\"\\", kRegSz, Sz(u"a\"b\\\\c\"")},
       u"\"say \\\"hi\\\"\\\\\"=\"a\\\"b\\\\\\\\c\\\"\""},
      {"empty string", {u"Empty", kRegSz, Sz(u"")}, u"\"Empty\"=\"\""},
      {"Chinese and a character outside the basic plane",
       {u"名称\U0001F600", kRegSz, Sz(u"扫描仪 \U00020000")},
       u"\"名称\U0001F600\"=\"扫描仪 \U00020000\""},
      {"tab, controls and a lone surrogate stay quoted",
       {u"t\tb", kRegSz, Sz(u"\x01\t\xD800\x7F\x85")},
       u"\"t\tb\"=\"\x01\t\xD800\x7F\x85\""},
      {"default value", {u"", kRegSz, Sz(u"x")}, u"@=\"x\""},
      {"a value named @", {u"@", kRegSz, Sz(u"x")}, u"\"@\"=\"x\""},
      {"CR in the string", {u"cr", kRegSz, Sz(u"a\rb")}, u"\"cr\"=hex(1):61,00,0d,00,62,00,00,00"},
      {"LF in the string", {u"lf", kRegSz, Sz(u"a\nb")}, u"\"lf\"=hex(1):61,00,0a,00,62,00,00,00"},
      {"embedded zero", {u"z", kRegSz, Sz(u"a\0b"sv)}, u"\"z\"=hex(1):61,00,00,00,62,00,00,00"},
      {"two zeros at the end", {u"z", kRegSz, Sz(u"a\0"sv)}, u"\"z\"=hex(1):61,00,00,00,00,00"},
      {"no data", {u"none", kRegSz, ""}, u"\"none\"=hex(1):"},
      {"default value in hex", {u"", kRegSz, ""}, u"@=hex(1):"},
      // The other string types are always in hex form.
      {"expandable string",
       {u"e", kRegExpandSz, Sz(u"%A%")},
       u"\"e\"=hex(2):25,00,41,00,25,00,00,00"},
      {"multi-string",
       {u"m", kRegMultiSz, Sz(u"a\0b\0"sv)},
       u"\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00"},
      {"empty multi-string", {u"m", kRegMultiSz, ""}, u"\"m\"=hex(7):"},
      // Binary data, any length.
      {"binary", {u"b", kRegBinary, "\x00\xff\x7f\x80\x0a"s}, u"\"b\"=hex:00,ff,7f,80,0a"},
      {"empty binary", {u"b", kRegBinary, ""}, u"\"b\"=hex:"},
      // DWORD: dword: for exactly 4 bytes, hex(4) for any other size.
      {"DWORD", {u"d", kRegDword, dword}, u"\"d\"=dword:12345678"},
      {"DWORD, all bits", {u"d", kRegDword, "\xff\xff\xff\xff"}, u"\"d\"=dword:ffffffff"},
      {"DWORD of 3 bytes", {u"d", kRegDword, "\x01\x02\x03"}, u"\"d\"=hex(4):01,02,03"},
      {"DWORD of 8 bytes",
       {u"d", kRegDword, dword + dword},
       u"\"d\"=hex(4):78,56,34,12,78,56,34,12"},
      {"DWORD without data", {u"d", kRegDword, ""}, u"\"d\"=hex(4):"},
      // Every other type by its number in lowercase hex.
      {"big-endian DWORD", {u"be", 5, dword}, u"\"be\"=hex(5):78,56,34,12"},
      {"link, unterminated", {u"l", 6, "\x41\x00"s}, u"\"l\"=hex(6):41,00"},
      {"resource list", {u"r", 8, "\x01"}, u"\"r\"=hex(8):01"},
      {"QWORD", {u"q", 11, dword + dword}, u"\"q\"=hex(b):78,56,34,12,78,56,34,12"},
      {"none, empty", {u"n", 0, ""}, u"\"n\"=hex(0):"},
      {"none, with data", {u"n", 0, "\x01"}, u"\"n\"=hex(0):01"},
      {"unknown type", {u"u", 0x12345678, "\x01"}, u"\"u\"=hex(12345678):01"},
      {"largest type", {u"u", 0xffffffff, ""}, u"\"u\"=hex(ffffffff):"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(CanWriteValue(c.value));
    EXPECT_EQ(Block({c.value}), ExpectedBlock(c.line));
    ExpectReadsBack({c.value});
  }
}

// The expected texts are the registry editor's own exports of the same values (Wine's reg
// export): lines of at most 80 characters, broken after a comma with ",\", continued after two
// blanks, the last byte never followed by a comma.
TEST(RegFileValueLine, LongHexDataWrapsAsTheRegistryEditorWrapsIt) {
  const LineCase cases[] = {
      {"default value, 60 bytes",
       {u"", kRegBinary, Counting(60)},
       u"@=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\r\n"
       u"  18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,\\\r\n"
       u"  31,32,33,34,35,36,37,38,39,3a,3b"},
      {"named, 60 bytes",
       {u"a", kRegBinary, Counting(60)},
       u"\"a\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
       u"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
       u"  30,31,32,33,34,35,36,37,38,39,3a,3b"},
      {"type number in the first line",
       {u"ab", 11, Counting(60)},
       u"\"ab\"=hex(b):00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
       u"  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
       u"  2f,30,31,32,33,34,35,36,37,38,39,3a,3b"},
      {"a name that fills the first line",
       {std::u16string(70, u'x'), kRegBinary, Counting(30)},
       u"\"" + std::u16string(70, u'x') +
           u"\"=hex:00,\\\r\n"
           u"  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,\\\r\n"
           u"  1a,1b,1c,1d"},
      {"last byte where the line would break",
       {u"", kRegBinary, Counting(24)},
       u"@=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17"},
      {"second line full at the last byte",
       {u"c", kRegBinary, Counting(48)},
       u"\"c\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
       u"  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f"},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Block({c.value}), ExpectedBlock(c.line));
    ExpectReadsBack({c.value, c.value});
  }
}

// "blob"=hex: takes 11 characters, so the first line holds 22 bytes; every further line 25.
TEST(RegFileValueLine, VeryLongBinaryValueWrapsExactly) {
  const std::string data = Counting(100000);
  std::u16string expected = u"\"blob\"=hex:";
  std::size_t onLine = 0;
  std::size_t lineSize = 22;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char16_t* digits = u"0123456789abcdef";
    const auto byte = static_cast<unsigned char>(data[i]);
    expected += digits[byte / 16];
    expected += digits[byte % 16];
    if (i + 1 < data.size()) {
      expected += u',';
    }
    if (++onLine == lineSize && i + 1 < data.size()) {
      expected += u"\\\r\n  ";
      onLine = 0;
      lineSize = 25;
    }
  }
  const std::optional<std::u16string> block = Block({{u"blob", kRegBinary, data}});
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(*block, ExpectedBlock(expected));

  ExpectReadsBack({{u"blob", kRegBinary, data}});
  std::size_t begin = 0;
  for (std::size_t end = block->find(u"\r\n"); end != std::u16string::npos;
       end = block->find(u"\r\n", begin)) {
    EXPECT_LE(end - begin, 80u) << "line at " << begin;
    begin = end + 2;
  }
}

TEST(RegFileKeyBlock, ValuesInTheirOrderAndAKeyWithoutValues) {
  EXPECT_EQ(Block({{u"b", kRegDword, std::string(4, '\0')}, {u"", kRegSz, Sz(u"v")}}),
            ExpectedBlock(u"\"b\"=dword:00000000\r\n@=\"v\""));
  EXPECT_EQ(Block({}), u"[" + std::u16string(kKey) + u"]\r\n\r\n");
}

TEST(RegFileKeyBlock, KeyPathsAreWrittenAsGivenOrRefused) {
  // The importer cuts the path below the root key after 32766 characters.
  const std::u16string longest = u"HKEY_LOCAL_MACHINE\\" + std::u16string(32766, u'k');
  const std::u16string tooLong = u"HKEY_LOCAL_MACHINE\\" + std::u16string(32767, u'k');
  const std::u16string_view writable[] = {
      longest,
      u"HKEY_LOCAL_MACHINE",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\a]b",  // the importer reads up to the last ']'
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\c]",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\[d",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\q\"=@;",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\-dash\\ lead\\trail ",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\中文\U0001F600\\t\tab\x01",
  };
  for (std::u16string_view path : writable) {
    EXPECT_TRUE(CanWriteKeyName(path));
    EXPECT_EQ(RegFileKeyBlock(path, {}), u"[" + std::u16string(path) + u"]\r\n\r\n");
  }
  const std::u16string_view refused[] = {
      u"",
      u"-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor",  // a deletion to the importer
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\a\rb",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\a\nb",
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\a\0b"sv,
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\\\Vendor",  // empty components are dropped
      u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\",
      tooLong,
  };
  for (std::u16string_view path : refused) {
    SCOPED_TRACE(testing::PrintToString(std::u16string(path)));
    EXPECT_FALSE(CanWriteKeyName(path));
    EXPECT_EQ(RegFileKeyBlock(path, {}), std::nullopt);
  }
}

// What the importer cannot take back exactly refuses the whole block.
TEST(RegFileKeyBlock, ValuesThatDoNotRoundTripAreRefused) {
  const RegFileValue refused[] = {
      {u"a\rb", kRegSz, Sz(u"x")},
      {u"a\nb", kRegBinary, ""},
      {u"a\0b"s, kRegDword, std::string(4, '\0')},
      {u"unterminated", kRegSz, "\x41\x00"s},
      {u"odd", kRegSz, "\x41\x00\x00"s},
      {u"one zero byte", kRegSz, std::string(1, '\0')},
      {u"odd, ending in zeros", kRegExpandSz, "\x41\x00\x00"s},
      {u"unterminated", kRegExpandSz, "\x41\x00"s},
      {u"unterminated", kRegMultiSz, "\x41\x00\x00\x00\x42\x00"s},
      {u"odd", kRegMultiSz, "\x41\x00\x00\x00\x00"s},
  };
  const RegFileValue good = {u"good", kRegSz, Sz(u"x")};
  for (const RegFileValue& value : refused) {
    SCOPED_TRACE(testing::PrintToString(value.name) + " type " + std::to_string(value.type));
    EXPECT_FALSE(CanWriteValue(value));
    EXPECT_EQ(Block({good, value}), std::nullopt);
  }
  // The same shapes of the other types are written.
  EXPECT_TRUE(CanWriteValue({u"odd", kRegBinary, "\x41\x00\x00"s}));
  EXPECT_TRUE(CanWriteValue({u"unterminated", 6, "\x41\x00"s}));
  EXPECT_TRUE(CanWriteValue({u"odd", kRegDword, "\x41\x00\x00"s}));
}

// Only what the writer writes is read: anything else is refused whole, with the line that cannot
// be read.
TEST(RegFileText, ReadsOnlyWhatItWrites) {
  const std::u16string header = RegFileHeader();
  const std::u16string key = u"[" + std::u16string(kKey) + u"]\r\n";
  struct Refused {
    std::string bytes;
    const char* why;
  };
  const Refused refused[] = {
      {Utf16LeBytes(header + key), "it is no registry file in UTF-16LE"},
      {RegFileBytes(u"REGEDIT4\r\n\r\n" + key),
       "it does not begin as a registry file of version 5"},
      {RegFileBytes(header + u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor]\r\n"),
       "its line 3 cannot be read"},
      {RegFileBytes(header + u"\"orphan\"=\"x\"\r\n"), "its line 3 cannot be read"},
      {RegFileBytes(header + key + u"\"a\"=dword:123\r\n"), "its line 4 cannot be read"},
      {RegFileBytes(header + key + u"\"a\"=hex:1,02\r\n"), "its line 4 cannot be read"},
      {RegFileBytes(header + key + u"\"a\"=hex(zz):01\r\n"), "its line 4 cannot be read"},
      {RegFileBytes(header + key + u"\"a=\"x\"\r\n"), "its line 4 cannot be read"},
      {RegFileBytes(header + key + u"\"a\"=\"x\r\n"), "its line 4 cannot be read"},
      {RegFileBytes(header + key + u"\"a\"=hex:01,\\\r\n"), "it ends inside a value"},
      {RegFileBytes(header + key).substr(0, 11), "it is no registry file in UTF-16LE"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.why);
    std::string why;
    EXPECT_EQ(ReadRegFile(r.bytes, why), std::nullopt);
    EXPECT_EQ(why, r.why);
  }
}

TEST(RegFileText, HeaderAndFileBytes) {
  EXPECT_EQ(RegFileHeader(), u"Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(RegFileBytes(u"A\r\n中\U0001F600"),
            "\xff\xfe"
            "A\0\r\0\n\0\x2d\x4e\x3d\xd8\x00\xde"s);
  EXPECT_EQ(RegFileBytes(u""), "\xff\xfe");
  EXPECT_EQ(Utf16LeBytes(u"\xABCD"), "\xcd\xab");
}

}  // namespace
}  // namespace vorsk
