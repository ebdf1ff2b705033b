#include "tests/property/choices.h"

namespace vorsk::test {

std::uint32_t Choices::Below(std::uint32_t bound) {
  if (bound <= 1) {
    return 0;
  }
  const int bytes = bound <= 0x100 ? 1 : bound <= 0x10000 ? 2 : 4;
  return Draw(bytes) % bound;
}

std::uint32_t SeededChoices::Draw(int bytes) {
  state_ += 0x9E3779B97F4A7C15u;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  z ^= z >> 31;
  return bytes >= 4 ? static_cast<std::uint32_t>(z)
                    : static_cast<std::uint32_t>(z) & ((1u << (8 * bytes)) - 1);
}

std::uint32_t ByteChoices::Draw(int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value <<= 8;
    if (position_ < size_) {
      value |= data_[position_++];
    }
  }
  return value;
}

}  // namespace vorsk::test
