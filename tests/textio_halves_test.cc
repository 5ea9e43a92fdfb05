// Where a file of records is cut in halves, and the two threads that read
// them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "textio/halves.h"

namespace {

struct Cut {
  std::string name;
  std::string text;
  int64_t from;
  int64_t want;  // worked out by hand
};

std::vector<Cut> cuts() {
  const std::string long_line(1000, 'x');
  return {
      {"InALine", "a b 1\nc d 2\n", 2, 6},
      {"AtALineFeed", "a b 1\nc d 2\n", 5, 6},
      {"AtALineStartTheNextLine", "a b 1\nc d 2\ne f 3\n", 6, 12},
      {"PastBlankLinesAndSpaces", "a b 1\n\n \t\r\nc d 2\n", 1, 11},
      {"NoLineFeedLeft", "a b 1\nc d 2", 7, 11},
      {"TheLastLineFeed", "a b 1\nc d 2\n", 9, 12},
      {"AtTheEnd", "a b 1\n", 6, 6},
      {"ALineLongerThanAnyRead", long_line + "\ny\n", 10, 1001},
  };
}

void PrintTo(const Cut& c, std::ostream* os) { *os << c.name; }

class RecordAfter : public testing::TestWithParam<Cut> {};

TEST_P(RecordAfter, InAStringAndInAFile) {
  const Cut& c = GetParam();
  textio::Reader in;
  in.open_string(c.text);
  EXPECT_EQ(textio::record_after(in, c.from), c.want);

  char path[] = "/tmp/ldtag-halves-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, c.text.data(), c.text.size()), static_cast<ssize_t>(c.text.size()));
  close(fd);
  textio::Reader file;
  ASSERT_TRUE(file.open(path));
  EXPECT_EQ(textio::record_after(file, c.from), c.want);
  // The reader itself has not moved.
  EXPECT_EQ(file.offset(), 0);
  std::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Cuts, RecordAfter, testing::ValuesIn(cuts()),
                         [](const testing::TestParamInfo<Cut>& p) { return p.param.name; });

TEST(RecordAfter, AnInputThatCannotBeReadInPartsHasNoCut) {
  textio::Reader device;
  ASSERT_TRUE(device.open("/dev/null"));
  EXPECT_EQ(textio::record_after(device, 0), -1);
}

TEST(ReadBeside, BothRunTheSecondOnAThreadOfItsOwn) {
  std::thread::id first_on, second_on;
  EXPECT_TRUE(textio::read_beside([&] { first_on = std::this_thread::get_id(); },
                                  [&] { second_on = std::this_thread::get_id(); }));
  EXPECT_EQ(first_on, std::this_thread::get_id());
  EXPECT_NE(second_on, std::thread::id());
  EXPECT_NE(second_on, first_on);
}

TEST(ReadBeside, ASecondThatThrowsGivesFalse) {
  bool first_ran = false;
  EXPECT_FALSE(textio::read_beside([&] { first_ran = true; }, [] { throw std::runtime_error("read failed"); }));
  EXPECT_TRUE(first_ran);
}

TEST(ReadBeside, AFirstThatThrowsPassesItOnOnceTheSecondIsDone) {
  std::atomic<bool> second_done{false};
  EXPECT_THROW(textio::read_beside([] { throw std::runtime_error("read failed"); },
                                   [&] {
                                     std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                     second_done = true;
                                   }),
               std::runtime_error);
  EXPECT_TRUE(second_done);
}

}  // namespace
