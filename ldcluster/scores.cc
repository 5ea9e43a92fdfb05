// The score of every ordered pair, from ld_processed.txt.
//
// ldprune writes the pairs row by row in table order, and a full table is
// over a hundred megabytes, so a large file is read on two threads, each
// from its own half. Any irregularity (a record across the middle, an error,
// a pair in both halves) makes the whole file be read again from the start
// on one thread, which gives the error of the earliest faulty record.
#include <atomic>
#include <bit>
#include <cerrno>
#include <cmath>
#include <memory>
#include <string>

#include "ldcluster/clusterer.h"
#include "textio/halves.h"
#include "textio/reader.h"

namespace ldcluster {
namespace {

// Reads records from where its reader stands into a table's score matrix,
// marking each pair in `seen`. The first error stops it and is kept. Two read at
// once on two threads; each fills whole cache lines of its own, so that
// neither slows the other by writing next to it.
class alignas(64) ScoreReader {
 public:
  ScoreReader(const Table& t, textio::Reader& in, std::vector<uint64_t>& seen, float* cells)
      : t_(t), in_(in), seen_(seen), cells_(cells), n_(static_cast<int>(t.snps.size())) {}

  // Reads to the end of the input, or until the reader stands at `stop` or
  // beyond before a record.
  void read(int64_t stop);
  long records() const { return record_ - 1; }
  bool failed() const { return !error_.empty(); }
  long error_record() const { return error_record_; }
  const std::string& error() const { return error_; }

 private:
  int find(std::string_view name) const {
    return name.size() > textio::Token::kCapacity ? textio::NameIndex::kNone : t_.index.find_padded(name);
  }
  bool store(std::string_view first, std::string_view second, float value);
  void fail(std::string text) {
    error_record_ = record_;
    error_ = std::move(text);
  }

  const Table& t_;
  textio::Reader& in_;
  std::vector<uint64_t>& seen_;
  float* cells_;
  int n_;
  long record_ = 1;
  long error_record_ = 0;
  std::string error_;
  // Pairs come row by row: the first name is usually the last record's, and
  // the second the entry after the last record's second. Both guesses are
  // checked against the name before the index is asked. Names are unique
  // (read_snps() checked), so a name's group in the index is its entry.
  int row_ = -1;
  int next_ = 0;
};

std::string quote(std::string_view name) { return std::string(name.substr(0, 40)) + (name.size() > 40 ? "..." : ""); }

bool ScoreReader::store(std::string_view first, std::string_view second, float value) {
  const textio::NameIndex& index = t_.index;
  if (row_ < 0 || first.size() > textio::Token::kCapacity || !textio::same_padded(first, index.name(row_))) {
    row_ = find(first);
    if (row_ == textio::NameIndex::kNone) {
      fail("SNP " + quote(first) + " is not in " + t_.path(kSnpFile));
      return false;
    }
  }
  int col;
  if (next_ < n_ && second.size() <= textio::Token::kCapacity && textio::same_padded(index.name(next_), second)) {
    col = next_;
  } else if ((col = find(second)) == textio::NameIndex::kNone) {
    fail("SNP " + quote(second) + " is not in " + t_.path(kSnpFile));
    return false;
  }
  next_ = col + 1;
  if (!std::isfinite(value)) {
    fail("the score of " + quote(first) + " for " + quote(second) + " is not a finite number");
    return false;
  }
  const size_t cell = static_cast<size_t>(row_) * n_ + col;
  uint64_t& word = seen_[cell / 64];
  const uint64_t bit = uint64_t{1} << (cell % 64);
  if (word & bit) {
    fail("the score of " + quote(first) + " for " + quote(second) + " is given a second time");
    return false;
  }
  word |= bit;
  // Each half writes its own cells; a relaxed store is a plain store.
  std::atomic_ref<float>(cells_[cell]).store(value, std::memory_order_relaxed);
  return true;
}

void ScoreReader::read(int64_t stop) {
  static const textio::Pattern kRecord("%s %s %f\n");
  textio::Field f[3];
  std::string_view first, second, number;
  for (; !in_.eof() && in_.offset() < stop && !failed(); ++record_) {
    if (in_.scan_names_and_real(&first, &second, &number)) {
      store(first, second, textio::Reader::plain_value(number));
      continue;
    }
    int got = in_.scan(kRecord, f);
    if (got == 0) break;  // white space to the end
    if (got < 3) {
      fail("expected two SNP names and a score");
      break;
    }
    if (f[0].token.overlong() || f[1].token.overlong()) {
      fail("SNP " + quote((f[0].token.overlong() ? f[0] : f[1]).token.str()) + "... is not in " + t_.path(kSnpFile));
      break;
    }
    store(f[0].token.str(), f[1].token.str(), f[2].real);
  }
}

// Reads the file in two halves on two threads. Returns false, having
// stored nothing that counts, when the halves do not fit together.
bool read_halves(const Table& t, textio::Reader& in, std::vector<uint64_t>& seen, float* cells) {
  const int64_t middle = textio::record_after(in, in.size() / 2);
  if (middle <= 0) return false;
  textio::Reader second_in(1 << 16);
  if (!second_in.open_part(in, middle)) return false;
  std::vector<uint64_t> second_seen(seen.size(), 0);
  ScoreReader second(t, second_in, second_seen, cells);
  ScoreReader first(t, in, seen, cells);
  const bool second_read = textio::read_beside([&] { first.read(middle); }, [&] { second.read(INT64_MAX); });
  if (!second_read || first.failed() || second.failed() || in.offset() != middle || in.error() || second_in.error()) {
    return false;
  }
  for (size_t w = 0; w < seen.size(); ++w) {
    if (seen[w] & second_seen[w]) return false;  // a pair in both halves
    seen[w] |= second_seen[w];
  }
  return true;
}

// `all_pairs`: every ordered pair needs its score; else a pair not listed
// scores 0.
void read_table_scores(Table& t, int64_t split_bytes, const char* score_file, bool all_pairs) {
  const std::string file = t.path(score_file);
  const int n = static_cast<int>(t.snps.size());
  t.scores.reset(n);
  float* cells = n > 0 ? &t.scores.at(0, 0) : nullptr;
  std::vector<uint64_t> seen((static_cast<size_t>(n) * n + 63) / 64, 0);
  textio::Reader& in = t.score_in;
  const bool split = n > 0 && in.size() >= split_bytes;
  if (!split || !read_halves(t, in, seen, cells)) {
    // On one thread, from the start: again, after halves that did not fit.
    std::fill(seen.begin(), seen.end(), 0);
    textio::Reader again(1 << 16);
    if (split && !again.open_part(in, 0)) {
      textio::fail_input("cannot read " + file + ": " + textio::describe_errno(errno));
    }
    textio::Reader& from = split ? again : in;
    ScoreReader whole(t, from, seen, cells);
    whole.read(INT64_MAX);
    textio::check_read(from, file);
    if (whole.failed()) textio::fail_input(textio::at_record(file, whole.error_record()) + whole.error());
  }
  in.close();
  if (!all_pairs) return;
  // Every ordered pair needs its score.
  const size_t pairs = static_cast<size_t>(n) * n;
  auto in_table = [&](size_t w) {
    size_t left = pairs - w * 64;
    return left >= 64 ? ~uint64_t{0} : (uint64_t{1} << left) - 1;
  };
  for (size_t w = 0; w < seen.size(); ++w) {
    if (uint64_t missing = in_table(w) & ~seen[w]) {
      size_t cell = w * 64 + static_cast<size_t>(std::countr_zero(missing));
      size_t count = 0;
      for (size_t k = w; k < seen.size(); ++k) count += static_cast<size_t>(std::popcount(in_table(k) & ~seen[k]));
      textio::fail_input(file + ": no score of " + t.snps[cell / n].name + " for " + t.snps[cell % n].name + " (" +
                         std::to_string(count) + " of the " + std::to_string(pairs) + " ordered pairs have none)");
    }
  }
}

}  // namespace

void read_scores(Clusterer& c) {
  for (Table& t : c.tables)
    read_table_scores(t, c.split_bytes, c.options.score_file(), c.options.coverage.scores.empty());
}

}  // namespace ldcluster
