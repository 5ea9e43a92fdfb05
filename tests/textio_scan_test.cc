// The scanner against the C library's own scanner: the same bytes read by
// the same pattern, record after record, must leave the same targets and
// take the same number of attempts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "scan_oracle.h"
#include "textio/reader.h"

namespace {

using testing_support::compare_with_c_library;
using testing_support::describe;
using textio::Field;
using textio::Pattern;
using textio::Reader;

const std::vector<std::string> kPatterns = {
    "%s\t%s\t%s\n",
    "%s\t%s\n",
    "%s %ld %f\n",
    "%s\t%f\n",
    "%s\n",
    "%s %s %f\n",
    "%s\t%d\t%d\t%s\t%s\t%s\t%s\t%s\t%s\n",
    "%s\t%d\t%s\t%s\t%s\t%s\t%d\t%s\t%s\t%s\n",
    "%d\t%d\t%s\t%f\n",
    "%f\n",
    "%d\n",
};

TEST(Scanner, AgreesWithCLibraryOnChosenInputs) {
  // clang-format off
  const std::vector<std::string> inputs = {
      "", " ", "\n\n\t ", "a", "a\n", "a b c\n", "a\tb\n\n\n", "rs1 rs2 0.5", "rs1 rs2 0.5\n",
      "x 12 0.25\ny 13 0.5\n", "x -5 1e", "x +7 -", "x 9 .", "x 9 -.e1", "1.2.3 4", "1e5.3", "infinity nan NaN -INF",
      "infin", "nanx", "na", "in ", "0x", "0x ", "0xg", "0x1p3", "0x1.8p", "0x.p1", "0X1P-2", "00x1", "1e+", "1e+x",
      "+.5", "1..2", "0.5e-3.7", "1e-5e", "-0", "-0.0", "3.4028235e38", "3.5e38", "1e-46", "1.4e-45", "7e-46",
      "0.000000000000000000000000000000000000000000001401298464324817070923729583289916131280261941876515771757068283889791082685860601486638188362121582031250000000000000000001",
      "2147483647 -2147483648", "2147483648 99999999999999999999", "a\0b c\n", std::string("a\0b\0c 5", 7),
      "\xff\xfe 1\n", "abc\r\n", "\v\f1.5\v", "1 2 3 4 5 6 7 8 9 10 11 12", "- + . e", "5e", "5E+2", "0.1e-0009",
      "0x1.fffffep127", "0x1.ffffffp127", "0x1p-150", "0x1.000001p0", "0.29380100000000000000000000000000001",
  };
  // clang-format on
  for (const std::string& pattern : kPatterns) {
    for (const std::string& input : inputs) {
      for (size_t buffer : {1, 2, 3, 7, 4096}) {
        std::string failure = compare_with_c_library(input, pattern, buffer);
        ASSERT_EQ(failure, "");
      }
    }
  }
}

// Random inputs over an alphabet rich in the characters that change a
// conversion's course, read through small buffers so that tokens and
// numbers are split across refills.
TEST(Scanner, AgreesWithCLibraryOnGeneratedInputs) {
  std::mt19937 rng(20261207);
  const std::string alphabet = "0123456789011.-+eEpPxXabcdfinINFtyArs_ \t\n\r\v\f  \n\n";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 30000; ++round) {
    std::string input;
    size_t len = rng() % 48;
    for (size_t i = 0; i < len; ++i) {
      auto r = rng() % 100;
      if (r == 0) input += '\0';
      else if (r == 1) input += '\xe9';
      else input += alphabet[pick(rng)];
    }
    const std::string& pattern = kPatterns[rng() % kPatterns.size()];
    size_t buffer = 1 + rng() % 9;
    std::string failure = compare_with_c_library(input, pattern, buffer);
    ASSERT_EQ(failure, "");
  }
}

// Decimal and hexadecimal numbers of every length and size, including long
// digit runs whose rounding depends on digits far behind the point.
TEST(Scanner, RealsRoundLikeTheCLibrary) {
  std::mt19937_64 rng(42);
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  std::string input;
  for (int round = 0; round < 6000; ++round) {
    switch (rng() % 6) {
      case 0: {  // the exact text of a float's neighbourhood
        uint32_t bits = static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        char b[80];
        std::snprintf(b, sizeof b, "%.*g", static_cast<int>(6 + rng() % 12), static_cast<double>(f));
        input += b;
        break;
      }
      case 1: {  // a halfway point between two floats, written out exactly
        uint32_t bits = static_cast<uint32_t>(rng()) & 0x7f7fffff;
        float a, b2;
        std::memcpy(&a, &bits, sizeof a);
        b2 = std::nextafter(a, INFINITY);
        char b[1200];
        std::snprintf(b, sizeof b, "%.300e", (static_cast<double>(a) + static_cast<double>(b2)) / 2);
        input += b;
        break;
      }
      case 2:
        input += digits(1 + static_cast<int>(rng() % 40)) + "." + digits(static_cast<int>(rng() % 260));
        break;
      case 3:
        input += "0." + std::string(rng() % 60, '0') + digits(1 + static_cast<int>(rng() % 30)) + "e" +
                 std::to_string(static_cast<int>(rng() % 120) - 60);
        break;
      case 4: {
        char b[64];
        std::snprintf(b, sizeof b, "%a",
                      std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 400) - 250));
        input += b;
        break;
      }
      case 5:
        input += "0x" + std::string(rng() % 5, '0') + "1" + digits(static_cast<int>(rng() % 50)) + "p-" +
                 std::to_string(rng() % 400);
        break;
    }
    input += (rng() % 2) ? "\n" : " ";
  }
  for (size_t buffer : {3, 64, 65536}) {
    std::string failure = compare_with_c_library(input, "%f\n", buffer);
    ASSERT_EQ(failure, "");
  }
}

// Short plain numbers, the common shape, one per input so that a character
// that stalls both scanners hides nothing: every length of whole and
// fraction part, values around 2^24, signs, and every kind of character
// that may follow.
TEST(Scanner, ShortRealsAgreeWithCLibrary) {
  std::mt19937_64 rng(24);
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
    return s;
  };
  static const char* const kNear[] = {"16777215",  "16777216",  "16777217",   "1677721.5",  "1677721.6", "99999999",
                                      "9999999.9", "0.0000001", "00000000.5", "0.00000001", "0.123456",  "1.0"};
  static const char* const kSigns[] = {"", "", "-", "+"};
  static const char* const kEnds[] = {"", " rs1", ".", "e", "E5", "e-2", "x", "X1", "a", "\t", "-", "p1"};
  for (int round = 0; round < 20000; ++round) {
    std::string input = kSigns[rng() % 4];
    if (rng() % 4 == 0) {
      input += kNear[rng() % std::size(kNear)];
    } else {
      int whole = static_cast<int>(rng() % 10), fraction = static_cast<int>(rng() % 10);
      input += digits(whole) + (rng() % 3 ? "." : "") + digits(fraction);
    }
    input += kEnds[rng() % std::size(kEnds)];
    input += "\n";
    for (const char* pattern : {"%f\n", "%s %s %f\n"}) {
      std::string data = pattern[1] == 'f' ? input : "rs1 rs2 " + input;
      for (size_t buffer : {4, 64}) {
        std::string failure = compare_with_c_library(data, pattern, buffer);
        ASSERT_EQ(failure, "");
      }
    }
  }
}

// The fast path for "%s %s %f\n" against scan() itself: record after record,
// through buffers of many sizes, a record the fast path takes must be the
// record scan() reads, ending at the same place; one it leaves is read by
// scan() from where the last one ended.
TEST(Scanner, NamesAndRealFastPathAgreesWithScan) {
  std::mt19937 rng(99);
  // clang-format off
  const std::vector<std::string> pieces = {"rs1", "rs22", "a", "0.5", "0.123456", "-0.25", "+3", "16777217", "1e5",
                                           "0x1p3", "nan", ".", "-", "12.5.1", "1677721.7", "-16777.217", "1234567.", std::string(63, 'n'),
                                           std::string(64, 'o'), std::string("a\0b", 3), "\x01z", "\xe9\xe8"};
  // clang-format on
  const std::vector<std::string> gaps = {" ", "\t", "\n", "\r\n", "  \n\v", "\n\n"};
  const Pattern pattern("%s %s %f\n");
  long taken = 0;  // records the fast path took
  for (int round = 0; round < 20200; ++round) {
    std::string input;
    if (round < 200) {
      // Records of 24 to 40 bytes and what follows them, ending at and
      // around the ends of buffers of 24 to 40 bytes.
      int length = 24 + round % 17;
      input = std::string(static_cast<size_t>(length - 11), 'n') + " m 0.12345\n" + gaps[round / 17 % gaps.size()] +
              "x y 1";
    } else if (round % 2) {
      for (int k = static_cast<int>(rng() % 24); k > 0; --k)
        input += pieces[rng() % pieces.size()] + gaps[rng() % gaps.size()];
    } else {
      // Tokens of characters that change a number's course, in the layout
      // of two names and a number, so that most records are short lines.
      const std::string chars = "0123456789012345.-+eEx\x01a";
      for (int k = static_cast<int>(rng() % 40); k > 0; --k) {
        for (size_t n = 1 + rng() % (k % 3 == 0 ? 9 : 4); n > 0; --n) {
          input += rng() % 50 ? chars[rng() % chars.size()] : '\0';
        }
        input +=
            k % 3 == 1 ? (rng() % 8 ? "\n" : gaps[rng() % gaps.size()]) : (rng() % 8 ? " " : gaps[rng() % gaps.size()]);
      }
    }
    if (rng() % 2 && !input.empty()) input.pop_back();
    size_t buffer = round < 200 ? 24 + round % 17 + (round / 34) % 3 - 1 : 8 + rng() % 120;
    Reader fast(buffer), plain(buffer);
    fast.open_string(input);
    plain.open_string(input);
    Field f[3], g[3];
    for (int attempt = 0; !plain.eof() && attempt < 100; ++attempt) {
      ASSERT_FALSE(fast.eof());
      std::string_view a, b, number;
      int got_fast;
      if (fast.scan_names_and_real(&a, &b, &number)) {
        f[0].token = textio::Token(a);
        f[1].token = textio::Token(b);
        f[2].real = Reader::plain_value(number);
        got_fast = 3;
        ++taken;
      } else {
        got_fast = fast.scan(pattern, f);
      }
      int got = plain.scan(pattern, g);
      std::string where =
          "input \"" + describe(input) + "\" buffer " + std::to_string(buffer) + " attempt " + std::to_string(attempt);
      ASSERT_EQ(got_fast, got) << where;
      ASSERT_EQ(fast.offset(), plain.offset()) << where;
      ASSERT_EQ(fast.eof(), plain.eof()) << where;
      for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(f[k].token.str(), g[k].token.str()) << where;
        ASSERT_EQ(f[k].token.length(), g[k].token.length()) << where;
      }
      ASSERT_EQ(0, std::memcmp(&f[2].real, &g[2].real, sizeof(float))) << where;
    }
    ASSERT_TRUE(fast.eof());
  }
  EXPECT_GT(taken, 1000);
}

TEST(Scanner, ReadLineAgreesWithFgets) {
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string data;
    size_t len = rng() % 400;
    for (size_t i = 0; i < len; ++i) data += (rng() % 30 == 0) ? '\n' : static_cast<char>('a' + rng() % 26);
    size_t size = 2 + rng() % 120;
    std::string copy = data + '\0';
    FILE* f = data.empty() ? std::tmpfile() : fmemopen(copy.data(), data.size(), "r");
    Reader in(1 + rng() % 16);
    in.open_string(data);
    for (;;) {
      std::vector<char> want(size + 1, 'Z'), got(size + 1, 'Z');
      char* r = std::fgets(want.data(), static_cast<int>(size), f);
      size_t n = in.read_line(got.data(), size);
      ASSERT_EQ(r != nullptr, n > 0) << describe(data) << " size " << size;
      ASSERT_EQ(want, got);
      ASSERT_EQ(static_cast<bool>(std::feof(f)), in.eof());
      if (!r) break;
    }
    std::fclose(f);
  }
}

TEST(Scanner, MemoryStaysBoundedForHugeTokens) {
  // A token far longer than the buffer keeps only its first bytes, but its
  // full length.
  std::string data(1 << 20, 'x');
  data += " 1.5";
  Reader in(4096);
  in.open_string(data);
  Field f[2];
  ASSERT_EQ(in.scan(Pattern("%s %f"), f), 2);
  EXPECT_EQ(f[0].token.length(), size_t{1} << 20);
  EXPECT_TRUE(f[0].token.overlong());
  EXPECT_EQ(f[1].real, 1.5f);
}

}  // namespace
