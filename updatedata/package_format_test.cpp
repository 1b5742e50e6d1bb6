#include "updatedata/package_format.h"

#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

namespace kx::package {
namespace {

// The published output sequences of the C runtime's generator
// (x = x * 214013 + 2531011, output (x >> 16) & 0x7FFF). The key bytes are
// their low 8 bits, so scrambling zero bytes must give exactly those.
TEST(KeyStreamTest, MatchesTheCRuntimeGenerator) {
  struct Case {
    std::int32_t seed;
    std::vector<int> outputs;
  };
  const Case cases[] = {
      {0, {38, 7719, 21238, 2437, 8855, 11797, 8365, 32285, 10450, 30612}},
      {1, {41, 18467, 6334, 26500, 19169}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> zeros(c.outputs.size(), 0);
    ApplyKeyStream(zeros.data(), c.seed, zeros.size());
    for (std::size_t i = 0; i < c.outputs.size(); ++i) {
      EXPECT_EQ(zeros[i], c.outputs[i] & 0xFF) << "seed " << c.seed << " offset " << i;
    }
  }
}

// The interleaved fast path against the plain recurrence, for lengths on and
// off the lane boundaries and seeds of every sign.
TEST(KeyStreamTest, FastPathEqualsSerialRecurrence) {
  for (std::int32_t seed : {0, 1, -1, 20261211, INT32_MIN, INT32_MAX}) {
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 255u, 256u, 1000u}) {
      std::vector<std::uint8_t> bytes(length, 0x5A);
      ApplyKeyStream(bytes.data(), seed, length);
      std::uint32_t x = static_cast<std::uint32_t>(seed);
      for (std::size_t i = 0; i < length; ++i) {
        x = x * 214013u + 2531011u;
        ASSERT_EQ(bytes[i], static_cast<std::uint8_t>(0x5A ^ ((x >> 16) & 0xFF)))
            << "seed " << seed << " length " << length << " offset " << i;
      }
    }
  }
}

TEST(KeyStreamTest, IsItsOwnInverse) {
  std::vector<std::uint8_t> bytes(4099);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  auto original = bytes;
  ApplyKeyStream(bytes.data(), -123456, bytes.size());
  EXPECT_NE(bytes, original);
  ApplyKeyStream(bytes.data(), -123456, bytes.size());
  EXPECT_EQ(bytes, original);
}

TEST(ByteSumTest, ExactAndOrderFree) {
  EXPECT_EQ(ByteSum(nullptr, 0), 0.0);
  std::vector<std::uint8_t> ff(3 << 20, 0xFF);  // crosses the internal blocks
  EXPECT_EQ(ByteSum(ff.data(), ff.size()), 255.0 * ff.size());
  std::vector<std::uint8_t> a = {1, 2, 250, 7}, b = {250, 7, 2, 1};
  EXPECT_EQ(ByteSum(a.data(), a.size()), 260.0);
  EXPECT_EQ(ByteSum(a.data(), a.size()), ByteSum(b.data(), b.size()));
}

TEST(SeedFromDateTest, DigitsWithoutLeadingZeros) {
  EXPECT_EQ(SeedFromDate({2026, 12, 11}), 20261211);
  EXPECT_EQ(SeedFromDate({2026, 1, 5}), 202615);
  // The 5th of November and the 15th of January give the same seed.
  EXPECT_EQ(SeedFromDate({2024, 11, 5}), SeedFromDate({2024, 1, 15}));
}

TEST(EncodePackageTest, PlainHeaderLayout) {
  std::vector<std::uint8_t> fpga2 = {9, 8, 7}, boot = {1, 2};
  std::array<Entry, 4> entries{{{"1_0_0", {}}, {"01_02_03", fpga2}, {"", {}}, {"2_0_1", boot}}};
  std::vector<std::uint8_t> stored;
  ASSERT_TRUE(EncodePackage(entries, -5, stored));
  ASSERT_EQ(stored.size(), 256u + 5u);
  EXPECT_EQ(stored[240], 0xFB);  // -5, little-endian, unscrambled
  EXPECT_EQ(stored[243], 0xFF);

  auto plain = stored;
  ApplyKeyStream(plain.data(), -5, plain.size());
  // An absent component's version field is all zero even when a text was given.
  for (int i = 0; i < 32; ++i) EXPECT_EQ(plain[i], 0) << i;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&plain[32])), "01_02_03");
  for (int i = 32 + 8; i < 64; ++i) EXPECT_EQ(plain[i], 0) << i;
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&plain[96])), "2_0_1");
  Header header = DecodeHeader(plain.data());
  EXPECT_EQ(header.sizes, (std::array<std::uint32_t, 4>{0, 3, 0, 2}));
  EXPECT_EQ(header.checksum, 9.0 + 8 + 7 + 1 + 2);
  for (int i = 152; i < 240; ++i) EXPECT_EQ(plain[i], 0xFF) << i;
  for (int i = 244; i < 256; ++i) EXPECT_EQ(plain[i], 0xFF) << i;
  EXPECT_EQ(std::vector<std::uint8_t>(plain.begin() + 256, plain.end()),
            (std::vector<std::uint8_t>{9, 8, 7, 1, 2}));
}

TEST(EncodePackageTest, RefusesVersionLongerThanItsField) {
  std::vector<std::uint8_t> one = {1};
  std::string longest(31, '1'), tooLong(32, '1');
  std::vector<std::uint8_t> stored;
  std::array<Entry, 4> fits{{{longest, one}, {}, {}, {}}};
  EXPECT_TRUE(EncodePackage(fits, 0, stored));
  std::array<Entry, 4> cut{{{tooLong, one}, {}, {}, {}}};
  stored.clear();
  EXPECT_FALSE(EncodePackage(cut, 0, stored));
  EXPECT_TRUE(stored.empty());
}

TEST(DecodeHeaderTest, SizesThatWrapIn32BitsStillAddUp) {
  std::vector<std::uint8_t> plain(256, 0);
  // 0xFFFFFFFF + 1 + 0 + 0 wraps to 0 in 32 bits; 256 + that must not equal 256.
  plain[128] = plain[129] = plain[130] = plain[131] = 0xFF;
  plain[132] = 1;
  EXPECT_EQ(DecodeHeader(plain.data()).ExpectedFileSize(), 256ull + 0x100000000ull);
}

TEST(DecodeHeaderTest, VersionFieldWithoutZeroIsTakenWhole) {
  std::vector<std::uint8_t> plain(256, 0);
  std::memset(plain.data(), '7', 32);
  plain[32] = 'x';  // the next field: must not be read as part of the first
  EXPECT_EQ(DecodeHeader(plain.data()).versions[0], std::string(32, '7'));
}

}  // namespace
}  // namespace kx::package
