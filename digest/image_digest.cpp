#include "digest/image_digest.h"

#include <cstdint>

namespace vorsk {

namespace {

std::optional<std::uint32_t> ReadNumber(std::string_view bytes, std::size_t at, std::size_t size) {
  if (at > bytes.size() || bytes.size() - at < size) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (std::size_t i = size; i > 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i - 1]);
  }
  return value;
}

// Where the PE header's fields lie: the DOS header's pointer to the PE signature, then the file
// header (20 bytes), then the optional header, whose magic tells PE32 from PE32+.
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kChecksumOffset = 64;   // in the optional header, in both forms
constexpr std::size_t kCertificateEntry = 4;  // the data directory's certificate table
constexpr std::size_t kEntrySize = 8;
constexpr std::size_t kPadding = 8;

}  // namespace

std::optional<Sha256::Digest> ImageDigest(std::string_view image) {
  if (image.size() < 2 || image.substr(0, 2) != "MZ") {
    return std::nullopt;
  }
  const std::optional<std::uint32_t> pe = ReadNumber(image, kPeOffsetField, 4);
  if (!pe || *pe > image.size() || image.substr(*pe, 4) != std::string_view("PE\0\0", 4)) {
    return std::nullopt;
  }
  const std::size_t optional = std::size_t{*pe} + 4 + kFileHeaderSize;
  const std::optional<std::uint32_t> magic = ReadNumber(image, optional, 2);
  if (!magic || (*magic != kPe32Magic && *magic != kPe32PlusMagic)) {
    return std::nullopt;
  }
  // The number of data directories, and where they begin.
  const std::size_t countAt = optional + (*magic == kPe32Magic ? 92 : 108);
  const std::optional<std::uint32_t> directories = ReadNumber(image, countAt, 4);
  const std::size_t checksum = optional + kChecksumOffset;
  if (!directories || checksum + 4 > countAt) {
    return std::nullopt;
  }
  // Without a certificate table's entry there is nothing of a signature to leave out but the
  // checksum.
  const bool hasEntry = *directories > kCertificateEntry;
  const std::size_t entry = countAt + 4 + kCertificateEntry * kEntrySize;
  std::uint32_t tableAt = 0;
  std::uint32_t tableSize = 0;
  if (hasEntry) {
    const std::optional<std::uint32_t> at = ReadNumber(image, entry, 4);
    const std::optional<std::uint32_t> size = ReadNumber(image, entry + 4, 4);
    if (!at || !size) {
      return std::nullopt;
    }
    tableAt = *at;
    tableSize = *size;
  }
  // A table (one of some size) lies after the headers' fields and within the file.
  const std::size_t headersEnd = hasEntry ? entry + kEntrySize : checksum + 4;
  if (tableSize != 0 &&
      (tableAt < headersEnd || tableAt > image.size() || image.size() - tableAt < tableSize)) {
    return std::nullopt;
  }
  const std::size_t imageEnd = tableSize != 0 ? tableAt : image.size();

  Sha256 sha;
  sha.Add(image.substr(0, checksum));
  if (hasEntry) {
    sha.Add(image.substr(checksum + 4, entry - checksum - 4));
    sha.Add(image.substr(entry + kEntrySize, imageEnd - entry - kEntrySize));
  } else {
    sha.Add(image.substr(checksum + 4, imageEnd - checksum - 4));
  }
  sha.Add(std::string((kPadding - imageEnd % kPadding) % kPadding, '\0'));
  if (tableSize != 0) {
    sha.Add(image.substr(std::size_t{tableAt} + tableSize));
  }
  return sha.Finish();
}

}  // namespace vorsk
