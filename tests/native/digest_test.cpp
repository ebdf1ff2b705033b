#include "digest/sha256.h"

#include <cstdint>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "digest/image_digest.h"

namespace vorsk {
namespace {

// The standard's own examples, and the lengths at which the padding spills into another block.
TEST(DigestTest, Sha256OfTheStandardsMessages) {
  EXPECT_EQ(Sha256Text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(
      Sha256Text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklm"
                 "nopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
      "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  Sha256 million;
  for (int i = 0; i < 1000; ++i) {
    million.Add(std::string(1000, 'a'));
  }
  EXPECT_EQ(DigestText(million.Finish()),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A message added in pieces of any size has the digest of the whole.
TEST(DigestTest, PiecesMakeTheWhole) {
  for (std::size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 200u}) {
    std::string message;
    for (std::size_t i = 0; i < length; ++i) {
      message += static_cast<char>(i * 7 + 3);
    }
    for (std::size_t piece : {1u, 3u, 64u}) {
      Sha256 sha;
      for (std::size_t at = 0; at < length; at += piece) {
        sha.Add(std::string_view(message).substr(at, piece));
      }
      EXPECT_EQ(DigestText(sha.Finish()), Sha256Text(message)) << length << " in " << piece;
    }
  }
}

// A program's image as the linker lays one out, small: the DOS header pointing at the PE header
// at 0x80, the file header, the optional header of the form asked for (PE32 or PE32+) with 16
// data directories, and `body` after the headers.
struct Image {
  static constexpr std::size_t kPe = 0x80;
  static constexpr std::size_t kOptional = kPe + 24;
  bool plus = false;
  std::string bytes;

  Image(bool pe32Plus, const std::string& body, std::uint32_t directories = 16) : plus(pe32Plus) {
    bytes.assign(0x200, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put(0x3C, kPe, 4);
    bytes.replace(kPe, 4, std::string("PE\0\0", 4));
    Put(kOptional, plus ? 0x20B : 0x10B, 2);
    Put(Directories() - 4, directories, 4);
    for (std::size_t i = kOptional + 2; i < Directories() - 4; ++i) {
      bytes[i] = static_cast<char>(i * 13 + 1);  // the header's other fields
    }
    bytes += body;
  }
  std::size_t Checksum() const { return kOptional + 64; }
  std::size_t Directories() const { return kOptional + (plus ? 112 : 96); }
  std::size_t Entry() const { return Directories() + 4 * 8; }
  void Put(std::size_t at, std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
  }
  // Signed as a signing tool signs: zeros up to a multiple of eight bytes, the certificate table
  // after them, its entry, and a checksum of the new file.
  Image Signed(const std::string& certificate) const {
    Image signedImage = *this;
    signedImage.bytes.append((8 - bytes.size() % 8) % 8, '\0');
    const std::size_t table = signedImage.bytes.size();
    signedImage.bytes += certificate;
    signedImage.Put(Entry(), static_cast<std::uint32_t>(table), 4);
    signedImage.Put(Entry() + 4, static_cast<std::uint32_t>(certificate.size()), 4);
    signedImage.Put(Checksum(), 0x5A5A1234, 4);
    return signedImage;
  }
  std::string Digest() const {
    const std::optional<Sha256::Digest> digest = ImageDigest(bytes);
    return digest ? DigestText(*digest) : "(none)";
  }
};

// The digest leaves out what signing writes (the checksum, the certificate table's entry, the
// table itself), and nothing else: a signed companion is the one built; a changed byte anywhere
// else, a byte added, or a table that lies outside the file is not.
TEST(ImageDigestTest, SigningChangesNothingAndAnythingElseDoes) {
  for (const bool plus : {false, true}) {
    for (std::size_t length = 25; length <= 32; ++length) {
      SCOPED_TRACE(std::string(plus ? "PE32+, " : "PE32, ") + std::to_string(length));
      const Image built(plus, std::string(length, 'c'));
      const std::string digest = built.Digest();
      ASSERT_NE(digest, "(none)");
      // What is hashed: the file without the checksum's four bytes and the entry's eight, and
      // zeros up to a multiple of eight bytes.
      std::string hashed = built.bytes;
      hashed.erase(built.Entry(), 8);
      hashed.erase(built.Checksum(), 4);
      hashed.append((8 - built.bytes.size() % 8) % 8, '\0');
      EXPECT_EQ(digest, Sha256Text(hashed));

      EXPECT_EQ(built.Signed(std::string(1200, 'S')).Digest(), digest);
      Image checksummed = built;
      checksummed.Put(built.Checksum(), 0xFFFFFFFF, 4);
      EXPECT_EQ(checksummed.Digest(), digest);

      Image changed = built;
      changed.bytes[0x210] ^= 1;  // the body's
      EXPECT_NE(changed.Digest(), digest);
      Image header = built;
      header.bytes[built.Checksum() - 1] ^= 1;
      EXPECT_NE(header.Digest(), digest);
      header = built;
      header.bytes[built.Entry() + 8] ^= 1;
      EXPECT_NE(header.Digest(), digest);
      Image longer = built;
      longer.bytes += "x";
      EXPECT_NE(longer.Digest(), digest);
      Image signedThenExtended = built.Signed("certificate");
      signedThenExtended.bytes += "more";
      EXPECT_NE(signedThenExtended.Digest(), digest);

      Image outside = built.Signed("certificate");
      outside.Put(built.Entry() + 4, 4096, 4);
      EXPECT_EQ(outside.Digest(), "(none)");
      Image inHeaders = built.Signed("certificate");
      inHeaders.Put(built.Entry(), 0x40, 4);
      EXPECT_EQ(inHeaders.Digest(), "(none)");
    }
  }
}

// An image whose data directories end before the certificate table's entry has nothing of a
// signature but its checksum to leave out.
TEST(ImageDigestTest, WithoutACertificateEntryOnlyTheChecksumIsLeftOut) {
  const Image built(false, "thirty bytes of code and data.", 4);
  std::string hashed = built.bytes;
  hashed.erase(built.Checksum(), 4);
  hashed.append((8 - built.bytes.size() % 8) % 8, '\0');
  EXPECT_EQ(built.Digest(), Sha256Text(hashed));
}

TEST(ImageDigestTest, WhatIsNoProgramHasNone) {
  Image image(false, "body");
  const std::string valid = image.bytes;
  EXPECT_EQ(ImageDigest("").has_value(), false);
  EXPECT_EQ(ImageDigest("MZ").has_value(), false);
  image.bytes[0] = 'N';
  EXPECT_EQ(image.Digest(), "(none)");
  image.bytes = valid;
  image.Put(0x3C, 0x7FFFFFF0, 4);
  EXPECT_EQ(image.Digest(), "(none)");
  image.bytes = valid;
  image.bytes[Image::kPe + 1] = 'F';
  EXPECT_EQ(image.Digest(), "(none)");
  image.bytes = valid;
  image.Put(Image::kOptional, 0x107, 2);
  EXPECT_EQ(image.Digest(), "(none)");
  image.bytes = valid.substr(0, Image::kOptional + 100);
  EXPECT_EQ(image.Digest(), "(none)");
}

}  // namespace
}  // namespace vorsk
