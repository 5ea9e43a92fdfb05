// Rows of fields against the same fields printed by the C library.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <string>

#include "textio/row.h"

namespace {

std::string row_of(auto&&... fields) {
  std::string out;
  textio::Writer w;
  w.open_string(&out);
  textio::put_row(w, '\t', fields...);
  w.close();
  return out;
}

std::string printed(const char* pattern, auto... values) {
  char buf[2048];
  std::snprintf(buf, sizeof buf, pattern, values...);
  return buf;
}

TEST(Row, FieldsPrintAsPrintfPrintsThem) {
  const std::string name = "rs123";
  const std::string_view view = "chr10";
  const float real = 0.1f;
  EXPECT_EQ(row_of(name), "rs123\n");
  EXPECT_EQ(row_of(""), "\n");
  EXPECT_EQ(row_of(name, "", view), "rs123\t\tchr10\n");
  EXPECT_EQ(row_of(int32_t{-7}, int64_t{1} << 40, size_t{3}, std::numeric_limits<int64_t>::min()),
            printed("%d\t%" PRId64 "\t%zu\t%" PRId64 "\n", -7, int64_t{1} << 40, size_t{3},
                    std::numeric_limits<int64_t>::min()));
  EXPECT_EQ(row_of(real, -0.0f, 1e30f, 2.5, 1.0 / 3, -1e-7),
            printed("%f\t%f\t%f\t%f\t%f\t%f\n", static_cast<double>(real), -0.0, static_cast<double>(1e30f), 2.5,
                    1.0 / 3, -1e-7));
  EXPECT_EQ(row_of("SNP", 0, "1", real, 0.0, 1), printed("SNP\t0\t1\t%f\t0.000000\t1\n", static_cast<double>(real)));
}

TEST(Row, TheSeparatorIsAnyCharacter) {
  std::string out;
  textio::Writer w;
  w.open_string(&out);
  textio::put_row(w, ' ', "SNP", "BP", "CHR10");
  textio::put_row(w, ',', "a", 2);
  w.close();
  EXPECT_EQ(out, "SNP BP CHR10\na,2\n");
}

}  // namespace
