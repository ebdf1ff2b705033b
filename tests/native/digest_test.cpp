#include "digest/sha256.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vorsk
