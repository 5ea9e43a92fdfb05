#include "scan_oracle.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "textio/reader.h"

namespace testing_support {
namespace {

using textio::Field;
using textio::Pattern;
using textio::Reader;

std::string describe_bytes(const std::string& data);

constexpr size_t kTokenRoom = 1 << 14;

enum class Kind { kToken, kInt, kLong, kReal };

std::vector<Kind> kinds_of(const std::string& pattern) {
  std::vector<Kind> kinds;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    if (pattern.compare(i, 3, "%ld") == 0) kinds.push_back(Kind::kLong);
    else if (pattern[i + 1] == 'd') kinds.push_back(Kind::kInt);
    else if (pattern[i + 1] == 'f') kinds.push_back(Kind::kReal);
    else kinds.push_back(Kind::kToken);
  }
  return kinds;
}

// The C library's view of one record stream: targets after each attempt.
struct Targets {
  std::vector<std::string> tokens;
  std::vector<long> integers;
  std::vector<float> reals;
  int converted = 0;
};

std::vector<Targets> reference_stream(const std::string& data, const std::string& pattern, int max_attempts) {
  std::vector<Kind> kinds = kinds_of(pattern);
  std::vector<std::vector<char>> tokens(kinds.size(), std::vector<char>(kTokenRoom, 0));
  std::vector<int> ints(kinds.size(), 0);
  std::vector<long> longs(kinds.size(), 0);
  std::vector<float> reals(kinds.size(), 0.0f);
  std::vector<void*> args(10, nullptr);
  for (size_t k = 0; k < kinds.size(); ++k) {
    // clang-format off
    switch (kinds[k]) {
      case Kind::kToken: args[k] = tokens[k].data(); break;
      case Kind::kInt: args[k] = &ints[k]; break;
      case Kind::kLong: args[k] = &longs[k]; break;
      case Kind::kReal: args[k] = &reals[k]; break;
    }
    // clang-format on
  }
  std::vector<Targets> out;
  std::string copy = data.empty() ? std::string(1, '\0') : data;
  FILE* f = fmemopen(copy.data(), data.size(), "r");
  if (data.empty()) {  // fmemopen refuses size 0
    fclose(f);
    f = std::tmpfile();
  }
  while (!std::feof(f) && static_cast<int>(out.size()) < max_attempts) {
    int r = std::fscanf(f, pattern.c_str(), args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7],
                        args[8], args[9]);
    Targets t;
    t.converted = r == EOF ? 0 : r;
    for (size_t k = 0; k < kinds.size(); ++k) {
      t.tokens.push_back(tokens[k].data());
      t.integers.push_back(kinds[k] == Kind::kInt ? ints[k] : longs[k]);
      t.reals.push_back(reals[k]);
    }
    out.push_back(std::move(t));
  }
  std::fclose(f);
  return out;
}

}  // namespace

std::string describe(const std::string& data) { return describe_bytes(data); }

namespace {

std::string describe_bytes(const std::string& data) {
  std::string s;
  for (unsigned char c : data.substr(0, 400)) {
    if (c >= 0x20 && c < 0x7f && c != '\\') s += static_cast<char>(c);
    else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02x", c);
      s += b;
    }
  }
  return s;
}

bool same_real(float a, float b) {
  if (std::isnan(a) && std::isnan(b)) return std::signbit(a) == std::signbit(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

std::string compare_with_c_library(const std::string& data, const std::string& pattern, size_t buffer_size) {
  // Every attempt that does not stall consumes a character.
  const int kMaxAttempts = static_cast<int>(data.size()) + 2;
  std::vector<Targets> want = reference_stream(data, pattern, kMaxAttempts);
  std::vector<Kind> kinds = kinds_of(pattern);
  Pattern compiled(pattern);
  Reader in(buffer_size);
  in.open_string(data);
  std::vector<Field> fields(kinds.size());
  // Records of two names and a number are read by the fast path first where
  // it applies, as ld.txt's reader does.
  const bool names_and_real = pattern == "%s %s %f\n";
  size_t attempt = 0;
  for (; !in.eof() && attempt < want.size(); ++attempt) {
    int got;
    std::string_view first, second, number;
    if (names_and_real && in.scan_names_and_real(&first, &second, &number)) {
      fields[0].token = textio::Token(first);
      fields[1].token = textio::Token(second);
      fields[2].real = Reader::plain_value(number);
      got = 3;
    } else {
      got = in.scan(compiled, fields.data());
    }
    const Targets& w = want[attempt];
    std::string where = "input \"" + describe(data) + "\" pattern \"" + describe(pattern) + "\" buffer " +
                        std::to_string(buffer_size) + " attempt " + std::to_string(attempt) + ": ";
    if (got != w.converted) {
      return where + "converted " + std::to_string(got) + ", C library " + std::to_string(w.converted);
    }
    for (size_t k = 0; k < kinds.size(); ++k) {
      switch (kinds[k]) {
        case Kind::kToken: {
          const textio::Token& t = fields[k].token;
          bool ok = t.overlong() ? w.tokens[k].compare(0, t.str().size(), t.str()) == 0 : w.tokens[k] == t.str();
          if (!ok) return where + "token " + std::to_string(k) + " \"" + describe(std::string(t.str())) + "\"";
          break;
        }
        case Kind::kInt:
        case Kind::kLong: {
          int64_t v = fields[k].integer;
          bool in_range = kinds[k] == Kind::kInt ? (v >= INT32_MIN && v <= INT32_MAX)
                                                 : (v > -(int64_t{1} << 62) && v < (int64_t{1} << 62));
          if (in_range && v != w.integers[k]) {
            return where + "integer " + std::to_string(k) + " " + std::to_string(v) + " vs " +
                   std::to_string(w.integers[k]);
          }
          break;
        }
        case Kind::kReal:
          if (!same_real(fields[k].real, w.reals[k])) {
            char b[96];
            std::snprintf(b, sizeof b, "real %zu %a vs %a", k, fields[k].real, w.reals[k]);
            return where + b;
          }
          break;
      }
    }
  }
  // A pattern that does not start with a token can stall on a bad character
  // forever; both scanners then agree up to the cap.
  bool capped = want.size() == static_cast<size_t>(kMaxAttempts);
  if (attempt != want.size() || (!in.eof() && !capped)) {
    return "input \"" + describe(data) + "\" pattern \"" + describe(pattern) + "\": " + std::to_string(attempt) +
           " attempts, C library " + std::to_string(want.size());
  }
  return "";
}

}  // namespace testing_support
