// The r2 table: tag scores for every ordered pair of SNPs.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ldprune/steps.h"
#include "textio/halves.h"

namespace ldprune {
namespace {

constexpr int64_t kNoStop = INT64_MAX;

// Warnings met while reading a stretch of ld.txt, held until the stretch is
// known to count: the first kShown of each kind, in record order, and how
// many there were of each kind.
class HeldWarnings {
 public:
  template <class MakeText>
  void add(int kind, long record, MakeText&& make_text) {
    if (static_cast<size_t>(kind) >= counts_.size()) counts_.resize(static_cast<size_t>(kind) + 1, 0);
    if (++counts_[kind] <= textio::Diagnostics::kShown) held_.push_back(Held{kind, record, make_text()});
  }
  // Passes the warnings on, numbering the stretch's records from before + 1.
  void report(textio::Diagnostics& diag, long before) const {
    std::vector<long> shown(counts_.size(), 0);
    for (const Held& h : held_) {
      diag.warn(h.kind, [&] { return textio::at_record(kLdFile, before + h.record) + h.text; });
      ++shown[h.kind];
    }
    for (size_t k = 0; k < counts_.size(); ++k) diag.note_unshown(static_cast<int>(k), counts_[k] - shown[k]);
  }

 private:
  struct Held {
    int kind;
    long record;       // from 1 within the stretch
    std::string text;  // what follows "<file>: record <n>: "
  };
  std::vector<Held> held_;
  std::vector<long> counts_;
};

struct WarningKinds {
  int unknown, reverse, bad;
};

// Reads ld.txt records from where its reader stands into a table of n x n
// cells. A record keeps its value at (first entry of its first name, first
// entry of its second name), below the diagonal only when the SNP table
// repeats names; `marks`, when given, gets a bit for every cell written. A
// record that did not scan whole keeps the values of the record before it.
// Two may read at once on two threads; each fills whole cache lines of its
// own, so that neither slows the other by writing next to it.
class alignas(64) PairReader {
 public:
  PairReader(const Preprocessor& p, textio::Reader& in, WarningKinds kinds, float* cells, uint64_t* marks)
      : p_(p), in_(in), kinds_(kinds), cells_(cells), marks_(marks), repeated_names_(p.snp_index.groups() < p.n) {}

  // Reads records until the end of the input, or until the reader stands at
  // offset `stop` or beyond before a record. `stop` may be moved by another
  // thread; `progress`, when given, is told every few thousand records where
  // the reader stands.
  void read(const std::atomic<int64_t>& stop, std::atomic<int64_t>* progress = nullptr);
  void read(int64_t stop) { read(std::atomic<int64_t>{stop}); }
  // Record attempts made so far.
  long records() const { return record_ - 1; }
  // True when a record that did not scan whole needed values from before
  // the first record this reader read.
  bool borrowed() const { return borrowed_; }
  const HeldWarnings& warnings() const { return warnings_; }

 private:
  // A name as a record gave it: its C-string value, with Token::kCapacity +
  // 1 readable bytes, and its full length.
  struct Name {
    std::string_view text;
    size_t length;
  };
  static Name name(const textio::Token& t) { return Name{t.str(), t.length()}; }
  // The cell a record with these names sets, marked as set, or nullptr for
  // a record that is ignored.
  float* cell_of(Name first, Name second);
  int find(Name name) const;
  static std::string quote(Name name);

  const Preprocessor& p_;
  textio::Reader& in_;
  WarningKinds kinds_;
  float* cells_;
  uint64_t* marks_;
  bool repeated_names_;
  HeldWarnings warnings_;
  textio::Field f_[3];
  // The last record read by the fast path, whose names are still in the
  // reader's buffer; copied to f_ before scan() may need them.
  bool fast_pending_ = false;
  std::string_view fast_first_, fast_second_;
  std::string_view fast_number_;
  long record_ = 1;
  bool scanned_whole_ = false;
  bool borrowed_ = false;
  // Pairs usually come row by row in table order: the first name is that of
  // the last record, and the second is the entry after the last one. Both
  // guesses are checked against the name before the index is asked.
  int a_ = textio::NameIndex::kNone;  // group of the last record's first name
  int next_ = 0;                      // entry expected to carry the next second name
};

int PairReader::find(Name name) const {
  return name.length > textio::Token::kCapacity ? textio::NameIndex::kNone : p_.snp_index.find_padded(name.text);
}

std::string PairReader::quote(Name name) {
  return std::string(name.text.substr(0, 40)) + (name.length > 40 ? "..." : "");
}

void PairReader::read(const std::atomic<int64_t>& stop, std::atomic<int64_t>* progress) {
  static const textio::Pattern record("%s %s %f\n");
  for (; !in_.eof() && in_.offset() < stop.load(std::memory_order_relaxed); ++record_) {
    if (progress && record_ % 4096 == 0) progress->store(in_.offset(), std::memory_order_relaxed);
    if (in_.scan_names_and_real(&fast_first_, &fast_second_, &fast_number_)) {
      fast_pending_ = scanned_whole_ = true;
      // Most records of a large file name SNPs outside the list: their
      // values are never converted.
      if (float* cell = cell_of(Name{fast_first_, fast_first_.size()}, Name{fast_second_, fast_second_.size()})) {
        *cell = textio::Reader::plain_value(fast_number_);
      }
      continue;
    }
    if (fast_pending_) {
      f_[0].token = textio::Token(fast_first_);
      f_[1].token = textio::Token(fast_second_);
      f_[2].real = textio::Reader::plain_value(fast_number_);
      fast_pending_ = false;
    }
    int got = in_.scan(record, f_);  // what did not scan keeps the last record's values
    if (got == 0) continue;          // an empty or blank file: nothing was read
    if (got < 3) {
      if (!scanned_whole_) borrowed_ = true;
      warnings_.add(kinds_.bad, record_, [&] {
        return "only " + std::to_string(got) + " of 3 fields scanned; the previous record's values were used";
      });
    } else {
      scanned_whole_ = true;
    }
    if (float* cell = cell_of(name(f_[0].token), name(f_[1].token))) *cell = f_[2].real;
  }
}

float* PairReader::cell_of(Name first, Name second) {
  const textio::NameIndex& index = p_.snp_index;
  const int n = p_.n;
  if (a_ == textio::NameIndex::kNone || first.length > textio::Token::kCapacity ||
      !textio::same_padded(first.text, index.name(a_))) {
    a_ = find(first);
  }
  const int a = a_;
  int b;
  if (a == textio::NameIndex::kNone) {
    b = textio::NameIndex::kNone;
  } else if (next_ < n && second.length <= textio::Token::kCapacity &&
             textio::same_padded(p_.snps[next_].name.str(), second.text)) {
    b = index.group_of(next_++);
  } else {
    b = find(second);
    if (b != textio::NameIndex::kNone) next_ = index.first(b) + 1;
  }
  if (a == textio::NameIndex::kNone || b == textio::NameIndex::kNone) {
    warnings_.add(kinds_.unknown, record_, [&] {
      return "SNP " + quote(a == textio::NameIndex::kNone ? first : second) +
             " is not in the SNP list; the record is ignored";
    });
    return nullptr;
  }
  if (index.first(a) > index.last(b)) {
    warnings_.add(kinds_.reverse, record_, [&] {
      return "SNPs " + quote(first) + " and " + quote(second) +
             " are listed in reverse SNP-list order; the record is ignored";
    });
    return nullptr;
  }
  int i = index.first(a), j = index.first(b);
  if (!repeated_names_ && i > j) return nullptr;
  size_t cell = static_cast<size_t>(i) * n + j;
  if (marks_) marks_[cell / 64] |= uint64_t{1} << (cell % 64);
  return cells_ + cell;
}

// A stretch of ld.txt read into a table of its own, kept where it is while
// a thread reads it.
struct Stretch {
  Stretch(const Preprocessor& p, WarningKinds kinds)
      : cells(new float[static_cast<size_t>(p.n) * p.n]),  // read only where marked
        marks((static_cast<size_t>(p.n) * p.n + 63) / 64, 0),
        reader(p, in, kinds, cells.get(), marks.data()) {}
  Stretch(const Stretch&) = delete;
  Stretch& operator=(const Stretch&) = delete;

  // Whether its records may be kept: they never needed values from before
  // the stretch, and the input could be read.
  bool sound() const { return !reader.borrowed() && in.error() == 0; }
  // Copies the cells its records set over `r2`, and marks them in `listed`
  // when that is in use; reports its warnings, numbering its records from
  // before + 1.
  void keep(Preprocessor& p, std::vector<uint64_t>& listed, long before) const {
    reader.warnings().report(p.diag, before);
    for (size_t w = 0; w < marks.size(); ++w) {
      for (uint64_t bits = marks[w]; bits; bits &= bits - 1) {
        size_t cell = w * 64 + static_cast<size_t>(__builtin_ctzll(bits));
        p.r2.data()[cell] = cells[cell];
      }
      if (!listed.empty()) listed[w] |= marks[w];
    }
  }

  textio::Reader in;
  std::unique_ptr<float[]> cells;
  std::vector<uint64_t> marks;
  PairReader reader;
};

// Reads a large ld.txt on two threads. `first` reads up to the first record
// past the middle while a second reader, on another thread, reads from there
// on into a table of its own. Should `first` be done while the second still
// has far to go, this thread takes the second half of what is left into a
// third table, and the second reader is told to stop where that begins.
//
// A stretch counts only when the reader before it arrived exactly at its
// first record and it never needed values from before it; its records then
// overwrite the cells of the stretches before it, being later records. When
// the second stretch does not count, nothing after the middle is kept, false
// is returned and `first` goes on from where it stopped, as if the file had
// never been split. When only the third does not count, the second reader
// reads on to the end itself.
bool read_in_halves(Preprocessor& p, PairReader& first, WarningKinds kinds, std::vector<uint64_t>& listed) {
  const int64_t size = p.ld_in.size();
  const int64_t middle = textio::record_after(p.ld_in, size / 2);
  if (middle < 0) return false;
  Stretch second(p, kinds);
  if (!second.in.open_part(p.ld_in, middle)) return false;
  struct alignas(64) {
    std::atomic<int64_t> stop{kNoStop};
    std::atomic<int64_t> progress{0};
    std::atomic<bool> done{false};
  } shared;
  shared.progress = middle;
  bool joined = false;
  std::unique_ptr<Stretch> third;
  int64_t split = -1;
  const bool second_read = textio::read_beside(
      [&] {
        first.read(middle);
        joined = p.ld_in.offset() == middle;
        if (!joined) {
          shared.stop = 0;
        } else if (const int64_t at = shared.progress.load(); !shared.done && size - at >= p.ld_split_bytes) {
          split = textio::record_after(p.ld_in, at + (size - at) / 2);
          if (split > at && split < size) {
            third = std::make_unique<Stretch>(p, kinds);
            if (third->in.open_part(p.ld_in, split)) {
              shared.stop = split;
              third->reader.read(kNoStop);
            } else {
              third.reset();
            }
          }
        }
      },
      [&] {
        second.reader.read(shared.stop, &shared.progress);
        shared.done = true;
      });
  if (!joined || !second_read || !second.sound()) return false;
  const bool third_counts = third && second.in.offset() == split && third->sound();
  if (third && !third_counts) {
    second.reader.read(kNoStop);
    if (!second.sound()) return false;
  }

  first.warnings().report(p.diag, 0);
  second.keep(p, listed, first.records());
  if (third_counts) third->keep(p, listed, first.records() + second.reader.records());
  return true;
}

// Each cell takes the value kept for its pair of names. A kept value sits
// either below the diagonal, which this loop does not write, or in a cell
// whose own value is that same pair's value, so the order is safe.
void spread_repeated(Preprocessor& p, const std::vector<uint64_t>& listed) {
  const int n = p.n;
  for (int i = 0; i < n; ++i) {
    int ri = p.snp_index.first(p.snp_index.group_of(i));
    for (int j = i; j < n; ++j) {
      int rj = p.snp_index.first(p.snp_index.group_of(j));
      size_t cell = static_cast<size_t>(ri) * n + rj;
      bool set = (listed[cell / 64] >> (cell % 64)) & 1;
      p.r2_at(i, j) = set ? p.r2.data()[cell] : 0.0f;
    }
  }
}

// Warns of each pair whose r² is not a number from 0 to 1 (nan, inf, or a
// value no r² has); it is used as read.
void warn_out_of_range(Preprocessor& p) {
  const int kind = p.diag.kind(std::string("pairs in ") + kLdFile + " whose r² is not a number from 0 to 1");
  for (int i = 0; i < p.n; ++i) {
    for (int j = i; j < p.n; ++j) {
      const float v = p.r2_at(i, j);
      if (v >= 0.0f && v <= 1.0f) continue;
      p.diag.warn(kind, [&] {
        return std::string(kLdFile) + ": SNPs " + std::string(p.snps[i].name.str()) + " and " +
               std::string(p.snps[j].name.str()) + ": r² " + as_read(v) +
               " is not a number from 0 to 1; it is used as read";
      });
    }
  }
}

// Reads ld.txt into the r2 table. A record sets every cell (i, j), i <= j,
// whose row SNP carries its first name and whose column SNP its second name;
// a later record for the same cell wins. Names are looked up once per
// record: the value is kept at (first entry of the first name, first entry
// of the second name), and only when the SNP table repeats a name is it
// spread to the other cells of that pair of names afterwards.
void read_pairs(Preprocessor& p) {
  const int n = p.n;
  const bool repeated_names = p.snp_index.groups() < n;
  std::vector<uint64_t> listed;  // pairs of first entries that a record named
  if (repeated_names) listed.assign((static_cast<size_t>(n) * n + 63) / 64, 0);

  const WarningKinds kinds{p.diag.kind(std::string("records in ") + kLdFile + " naming an SNP not in the SNP list"),
                           p.diag.kind(std::string("records in ") + kLdFile + " listing their pair in reverse order"),
                           p.diag.kind(std::string("records in ") + kLdFile + " that did not scan")};
  PairReader reader(p, p.ld_in, kinds, p.r2.data(), repeated_names ? listed.data() : nullptr);
  if (p.ld_in.size() < p.ld_split_bytes || n == 0 || !read_in_halves(p, reader, kinds, listed)) {
    reader.read(kNoStop);
    reader.warnings().report(p.diag, 0);
  }
  textio::check_read(p.ld_in, kLdFile);
  p.ld_in.close();

  if (repeated_names) spread_repeated(p, listed);
  warn_out_of_range(p);
}

// Copies the upper triangle onto the lower one, block by block.
void mirror(Preprocessor& p) {
  constexpr int kBlock = 64;
  const int n = p.n;
  for (int bi = 0; bi < n; bi += kBlock) {
    for (int bj = bi; bj < n; bj += kBlock) {
      for (int i = bi; i < std::min(bi + kBlock, n); ++i) {
        for (int j = std::max(bj, i + 1); j < std::min(bj + kBlock, n); ++j) p.r2_at(j, i) = p.r2_at(i, j);
      }
    }
  }
}

}  // namespace

void build_r2_table(Preprocessor& p) {
  const int n = p.n;
  p.r2.reset(n);
  read_pairs(p);
  mirror(p);
  // Fold in the tagged SNP's threshold, in double precision, rounded once:
  // S = 1 - (threshold[j] - r2), so that S >= 1 exactly when i tags j. The
  // diagonal is 1.0 throughout. Whole rows are folded, so that the loop runs
  // on vectors, and the diagonal is set afterwards.
  std::vector<double> threshold(n);
  for (int j = 0; j < n; ++j) threshold[j] = p.snps[j].threshold;
  for (int i = 0; i < n; ++i) {
    float* row = &p.r2_at(i, 0);
    for (int j = 0; j < n; ++j) row[j] = static_cast<float>(1.0 - (threshold[j] - static_cast<double>(row[j])));
    row[i] = 1.0f;
  }
}

}  // namespace ldprune
