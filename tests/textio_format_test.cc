// The writer's number formatting against the C library's printf.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "textio/writer.h"

namespace {

std::string ours(float f) {
  char b[textio::kMaxRealText];
  return std::string(b, textio::format_real(f, b));
}

std::string theirs(float f) {
  char b[80];
  std::snprintf(b, sizeof b, "%f", static_cast<double>(f));
  return b;
}

float from_bits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

TEST(FormatReal, SpecialValues) {
  const float kInf = std::numeric_limits<float>::infinity();
  const float kNan = std::numeric_limits<float>::quiet_NaN();
  // clang-format off
  for (float f : {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 0.0078125f, 0.0234375f, 1e-7f, -1e-9f, 5e-7f, 4.9999997e-7f,
                  1.5e-6f, 2.5e-6f, 0.2f, 0.8f, 1.1f, 16777216.0f, 3.4028235e38f, -3.4028235e38f, 1.4e-45f, kInf,
                  -kInf, kNan, -kNan, from_bits(0x7fc00001), from_bits(0xff800001)}) {
    // clang-format on
    EXPECT_EQ(ours(f), theirs(f)) << std::hexfloat << f;
  }
}

TEST(FormatReal, AgreesWithPrintfOnEveryExponent) {
  std::mt19937 rng(1);
  for (uint32_t exponent = 0; exponent < 256; ++exponent) {
    for (int k = 0; k < 4000; ++k) {
      uint32_t bits = (rng() & 0x807fffffu) | (exponent << 23);
      float f = from_bits(bits);
      ASSERT_EQ(ours(f), theirs(f)) << std::hexfloat << f;
    }
  }
}

TEST(FormatReal, TiesRoundToEven) {
  // m / 2^k with seven or more decimals: exact halves at the sixth decimal.
  for (int m = 1; m < 20000; ++m) {
    for (int k = 7; k <= 24; ++k) {
      float f = std::ldexp(static_cast<float>(m), -k);
      ASSERT_EQ(ours(f), theirs(f)) << std::hexfloat << f;
    }
  }
}

std::string ours_double(double d) {
  char b[textio::kMaxDoubleText];
  return std::string(b, textio::format_double(d, b));
}

std::string theirs_double(double d) {
  char b[400];
  std::snprintf(b, sizeof b, "%f", d);
  return b;
}

double double_from_bits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

TEST(FormatDouble, AgreesWithPrintf) {
  const double kInf = std::numeric_limits<double>::infinity();
  // clang-format off
  for (double d : {0.0, -0.0, 1.0, 0.5, 5e-7, 4.999999999999999e-7, 5.000000000000001e-7, 0.0000015, 0.0000025,
                   0.123456500000000001, 0.9999995, 0.99999949999999999, 1.0000000000000002, 18446744073709551615.0,
                   18446744073709551616.0, 1e300, -1e-300, 4.9e-324, kInf, -kInf,
                   // clang-format on
                   std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ours_double(d), theirs_double(d)) << std::hexfloat << d;
  }
  std::mt19937_64 rng(3);
  for (uint64_t exponent = 0; exponent < 2048; ++exponent) {
    for (int k = 0; k < 300; ++k) {
      double d = double_from_bits((rng() & 0x800fffffffffffffull) | (exponent << 52));
      ASSERT_EQ(ours_double(d), theirs_double(d)) << std::hexfloat << d;
    }
  }
  // r² values, and exact halves at the sixth decimal.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int k = 0; k < 200000; ++k) {
    double d = unit(rng);
    ASSERT_EQ(ours_double(d), theirs_double(d)) << std::hexfloat << d;
  }
  for (int m = 1; m < 4000; ++m) {
    for (int k = 7; k <= 60; ++k) {
      double d = std::ldexp(static_cast<double>(m), -k);
      ASSERT_EQ(ours_double(d), theirs_double(d)) << std::hexfloat << d;
    }
  }
}

TEST(Writer, PrintsIntegersTextAndLargeBlocks) {
  std::string sink;
  {
    textio::Writer w;
    w.open_string(&sink);
    w.put("a");
    w.put(' ');
    w.put_integer(-2147483648LL);
    w.put(' ');
    w.put_integer(0);
    w.put(std::string(3 << 20, 'z'));
    w.put_real(0.25f);
    w.put(' ');
    w.put_double(1e300);
    ASSERT_TRUE(w.close());
  }
  EXPECT_EQ(sink, "a -2147483648 0" + std::string(3 << 20, 'z') + "0.250000 " + theirs_double(1e300));
}

// Values printed again are printed from memory; a pool of a few values mixed
// with fresh ones, colliding in every way, must still print as printf does.
TEST(Writer, RepeatedValuesPrintAsPrintf) {
  std::mt19937 rng(5);
  std::vector<float> pool;
  for (int k = 0; k < 40; ++k) pool.push_back(from_bits(static_cast<uint32_t>(rng())));
  pool.push_back(1e30f);  // too long to remember
  std::string sink, want;
  {
    textio::Writer w(200);
    w.open_string(&sink);
    for (int k = 0; k < 200000; ++k) {
      float f = rng() % 4 ? pool[rng() % pool.size()] : from_bits(static_cast<uint32_t>(rng()) & 0x3fffffffu);
      w.put_real(f);
      w.put(' ');
      want += theirs(f) + " ";
    }
    ASSERT_TRUE(w.close());
  }
  EXPECT_EQ(sink, want);
}

// Text built in place, in pieces larger than the buffer as well.
TEST(Writer, BuildsTextInPlace) {
  std::string sink, want;
  {
    textio::Writer w(64);
    w.open_string(&sink);
    for (size_t k = 0; k < 1000; ++k) {
      size_t n = 1 + k % 150;
      char* p = w.reserve(n + k % 7);
      std::memset(p, 'a' + static_cast<int>(k % 26), n);
      w.advance(n);
      want += std::string(n, static_cast<char>('a' + k % 26));
      p = w.reserve(textio::kMaxRealText);
      w.advance(w.real_text(0.5f * static_cast<float>(k), p));
      want += theirs(0.5f * static_cast<float>(k));
    }
    ASSERT_TRUE(w.close());
  }
  EXPECT_EQ(sink, want);
}

TEST(Writer, ReportsAFailedWrite) {
  textio::Writer w;
  ASSERT_TRUE(w.open("/dev/full"));
  w.put("x");
  EXPECT_FALSE(w.close());
  EXPECT_EQ(w.error(), ENOSPC);
}

}  // namespace
