// Where the generated machines and scripts get their decisions from: a seeded pseudo-random
// sequence for the property test, or the bytes of an input for the fuzz target. Every decision is
// drawn in a statement of its own, never twice in one expression: the order in which a compiler
// evaluates function arguments or operands is its own choice, and the same seed or input must give
// the same case whichever compiler built the generator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vorsk::test {

class Choices {
 public:
  virtual ~Choices() = default;

  // A number from 0 to bound - 1 (bound at least 1). Small bounds take one byte of an input.
  std::uint32_t Below(std::uint32_t bound);
  // A number from low to high, both included.
  std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
    return low + Below(high - low + 1);
  }
  // True about once in n draws; never true from an exhausted input, whose choices are all zero.
  bool OneIn(std::uint32_t n) { return Below(n) == 1 % n; }
  // Any byte value.
  char Byte() { return static_cast<char>(Below(256)); }

 protected:
  // `bytes` bytes (1 to 4) worth of decision, as an unsigned number.
  virtual std::uint32_t Draw(int bytes) = 0;
};

// A reproducible sequence from a seed (splitmix64).
class SeededChoices final : public Choices {
 public:
  explicit SeededChoices(std::uint64_t seed) : state_(seed) {}

 protected:
  std::uint32_t Draw(int bytes) override;

 private:
  std::uint64_t state_;
};

// The bytes of an input, in order; once they run out every decision is zero, which the
// generator takes as its plainest answer, so that every input, however short, ends.
class ByteChoices final : public Choices {
 public:
  ByteChoices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

 protected:
  std::uint32_t Draw(int bytes) override;

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace vorsk::test
