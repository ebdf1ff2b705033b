// The registry editor's text format, version 5: the header, one block per key with one line per
// value, and the file's bytes (UTF-16LE with a byte-order mark). Each value is written so that
// importing the file (reg import, regedit /s) gives back exactly its type and bytes; what the
// importer cannot take back exactly is refused instead of written wrong.
//
// What the importer does was measured with Wine 8's reg and regedit (both behave alike):
// - A line break (CR or LF) inside a quoted name, a quoted string or a key line breaks the line:
//   the value or key is lost, and the lines after a broken key line land in the previous key.
// - A zero character anywhere in the text ends the import there.
// - Every other character, control characters, lone surrogates and characters outside the basic
//   plane among them, is carried as is in quoted names, quoted strings and key lines.
// - A key line ends at its last ']', so ']' and '[' inside key names are read back as written.
//   "[-" deletes a key instead of creating it. Empty path components are dropped.
// - The path below the root key is passed to the registry in one piece, which cuts it after
//   32766 characters: the values of a longer path land in the key that the cut path names.
// - Hex data of the string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) that does not end in a
//   zero UTF-16 unit is changed: a zero unit is added after an even byte count, and an odd byte
//   count is garbled. There is no form in which such data comes back exactly.
// - Long lines are read (40,000 characters were); a hex line may be continued with ",\" at its
//   end, and the next line's leading blanks are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace vorsk {

// The value types that the format writes in a form of their own are the host's kRegSz,
// kRegExpandSz, kRegBinary, kRegDword and kRegMultiSz; any other is written in hex form with its
// number.

struct RegFileValue {
  std::u16string name;  // the empty name is the key's default value
  std::uint32_t type = 0;
  std::string data;  // the stored bytes, strings in UTF-16LE
};

// "Windows Registry Editor Version 5.00" and a blank line, with CR LF line ends.
std::u16string RegFileHeader();

// The longest path below the root key (after "HKEY_LOCAL_MACHINE\") that the importer creates.
inline constexpr std::size_t kMaxKeyPathBelowRoot = 32766;

// Whether a full key path (e.g. HKEY_LOCAL_MACHINE\SOFTWARE\Vendor) can be written so that the
// importer creates exactly that key: not empty, no CR, LF or zero character, no empty component
// (nor a trailing '\'), not beginning with '-', and at most kMaxKeyPathBelowRoot characters
// after the root key's name.
bool CanWriteKeyName(std::u16string_view path);

// Whether a value name can be written: no CR, LF or zero character. The empty name is the
// default value, written @.
bool CanWriteValueName(std::u16string_view name);

// Whether importing gives back exactly the value's type and bytes: its name can be written, and
// the data of a string type (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is empty or an even number of
// bytes ending in a zero UTF-16 unit.
bool CanWriteValue(const RegFileValue& value);

// One key block: the line "[<path>]", one line per value (a long hex line wrapped over several),
// then a blank line. Returns nothing when the path or one of the values cannot be written.
std::optional<std::u16string> RegFileKeyBlock(std::u16string_view path,
                                              const std::vector<RegFileValue>& values);

// The UTF-16LE bytes of text.
std::string Utf16LeBytes(std::u16string_view text);

// The file's bytes: the byte-order mark FF FE, then the text in UTF-16LE.
std::string RegFileBytes(std::u16string_view text);

// One key block read back: the key's full path and its values.
struct RegFileKey {
  std::u16string path;
  std::vector<RegFileValue> values;
};

// The key blocks of a file's bytes, in their order, every value with exactly the type and bytes
// that RegFileKeyBlock wrote; nothing, with the line that cannot be read in `why`, for bytes that
// are not such a file (the restore reads only what vorsk writes, so anything else is refused, a
// deletion line "[-" among them).
std::optional<std::vector<RegFileKey>> ReadRegFile(std::string_view bytes, std::string& why);

}  // namespace vorsk
