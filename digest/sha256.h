// SHA-256 (FIPS 180-4), the digest that a backup's manifest records of every saved file and that
// the backup's record on the machine holds of the manifest. Windows XP's cryptographic service has
// no SHA-256, so the digest is computed here, the same on every Windows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorsk {

class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  Sha256();
  // Adds the next bytes of the message; the message may come in pieces of any size.
  void Add(std::string_view bytes);
  // The digest of everything added; the object is then spent.
  Digest Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t filled_ = 0;
  std::uint64_t length_ = 0;  // bytes added
};

// The digest in 64 lowercase hex digits, as the manifest and the record write it.
std::string DigestText(const Sha256::Digest& digest);
// The digest of `bytes`, as text.
std::string Sha256Text(std::string_view bytes);

}  // namespace vorsk
