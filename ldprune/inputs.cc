// Opening the run's files and reading the SNP inputs.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ldprune/steps.h"
#include "textio/output_file.h"

namespace ldprune {
namespace {

using textio::Failure;
using textio::Field;
using textio::Pattern;
using textio::Reader;

using textio::at_record;
using textio::check_read;
using textio::fail_input;

void check_name(const Token& name, const char* file, long record) {
  textio::check_length(name, common::kMaxSnpName, file, record, "SNP name");
}

void check_count(long attempts, long limit, const char* file) {
  if (attempts >= limit) fail_input(std::string(file) + ": more than " + std::to_string(limit) + " records");
}

// SNP list: a header of three tokens, then records of a name and a discarded
// token. N is the number of record attempts.
void read_snp_list(Preprocessor& p) {
  static const Pattern header("%s\t%s\t%s\n");
  static const Pattern record("%s\t%s\n");
  Field f[3];
  p.snp_list_in.scan(header, f);
  int k = 0;
  p.snps.clear();
  while (!p.snp_list_in.eof()) {
    check_count(k, common::kMaxSnps, kSnpListFile);
    Snp& entry = p.snps.emplace_back();
    if (p.snp_list_in.scan(record, f) >= 1) {
      check_name(f[0].token, kSnpListFile, k + 1);
      entry.name = f[0].token;
    }
    ++k;
  }
  check_read(p.snp_list_in, kSnpListFile);
  p.snp_list_in.close();
  p.n = k;
}

}  // namespace

std::string as_read(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

namespace {

// maf.txt: records matched in order against the SNP table; a record whose
// name is not the next SNP's is skipped. Scratch values carry over from one
// record to the next, as a record that does not scan fully is used as it
// stands.
void read_positions(Preprocessor& p) {
  static const Pattern record("%s %ld %f\n");
  const int bad = p.diag.kind(std::string("records in ") + kMafFile + " that did not scan");
  const int odd = p.diag.kind(std::string("records in ") + kMafFile + " whose MAF is not a number from 0 to 1");
  Field f[3];
  int k = 0;
  long matched_at = 0;  // record that filled the last entry
  for (long r = 1; !p.maf_in.eof(); ++r) {
    int got = p.maf_in.scan(record, f);
    if (got >= 2) textio::check_int32(f[1].integer, kMafFile, r, "position");
    if (got > 0 && got < 3) {
      p.diag.warn(bad, [&] {
        return at_record(kMafFile, r) + "only " + std::to_string(got) +
               " of 3 fields scanned; the previous record's values were used";
      });
    }
    if (k < p.n && f[0].token == p.snps[k].name) {
      p.snps[k].position = static_cast<int32_t>(f[1].integer);
      p.snps[k].maf = f[2].real;
      if (!(f[2].real >= 0.0f && f[2].real <= 1.0f)) {
        p.diag.warn(odd, [&] {
          return at_record(kMafFile, r) + "MAF " + as_read(f[2].real) + " of SNP " + std::string(f[0].token.str()) +
                 " is not a number from 0 to 1; it is used as read";
        });
      }
      ++k;
      matched_at = r;
    }
  }
  check_read(p.maf_in, kMafFile);
  p.maf_in.close();
  if (k < p.n) {
    p.diag.print(std::string(kMafFile) + ": no record for SNP " + std::string(p.snps[k].name.str()) + " (SNP " +
                 std::to_string(k + 1) + " of the SNP list) after record " + std::to_string(matched_at) +
                 ", where it should follow; it and the " + std::to_string(p.n - k - 1) +
                 " SNPs after it keep position 0 and MAF 0");
  }
}

// weight.txt: record r gives SNP r its name and threshold, unchecked;
// records past the SNP list fill entries no step reads.
void read_thresholds(Preprocessor& p) {
  static const Pattern record("%s\t%f\n");
  const int renamed = p.diag.kind(std::string("records in ") + kWeightFile + " that rename their SNP");
  const int bad = p.diag.kind(std::string("records in ") + kWeightFile + " whose threshold did not scan");
  const int odd =
      p.diag.kind(std::string("records in ") + kWeightFile + " whose threshold is not above 0 and at most 1");
  Field f[2];
  int records = 0;  // attempts that read a name
  for (int r = 0; !p.weight_in.eof(); ++r) {
    check_count(r, common::kMaxSnps, kWeightFile);
    int got = p.weight_in.scan(record, f);
    if (got >= 1) {
      check_name(f[0].token, kWeightFile, r + 1);
      if (r < p.n && !(f[0].token == p.snps[r].name)) {
        p.diag.warn(renamed, [&] {
          return at_record(kWeightFile, r + 1) + "name " + std::string(f[0].token.str()) + " differs from " +
                 std::string(p.snps[r].name.str()) + ", SNP " + std::to_string(r + 1) + " of the SNP list; " +
                 std::string(f[0].token.str()) + " is used";
        });
      }
      if (r < p.n) p.snps[r].name = f[0].token;
      records = r + 1;
    }
    if (got >= 2) {
      if (r < p.n) p.snps[r].threshold = f[1].real;
      if (r < p.n && !(f[1].real > 0.0f && f[1].real <= 1.0f)) {
        p.diag.warn(odd, [&] {
          return at_record(kWeightFile, r + 1) + "threshold " + as_read(f[1].real) +
                 ", as read in single precision, is not above 0 and at most 1; it is used so";
        });
      }
    } else if (got == 1) {
      p.diag.warn(bad, [&] { return at_record(kWeightFile, r + 1) + "the threshold did not scan; it stays 0"; });
    }
  }
  check_read(p.weight_in, kWeightFile);
  p.weight_in.close();
  if (records < p.n) {
    p.diag.print(std::string(kWeightFile) + ": " + std::to_string(records) + " records for " + std::to_string(p.n) +
                 " SNPs; the last " + std::to_string(p.n - records) + " SNPs get threshold 0, so every SNP tags them");
  }
}

// A list of names, one record each. A file that is empty or only white
// space gives one empty attempt, which the empty-list rule removes.
void read_name_list(Reader& in, const char* file, std::vector<Token>& list) {
  static const Pattern record("%s\n");
  Field f[1];
  list.clear();
  while (!in.eof()) {
    check_count(static_cast<long>(list.size()), common::kMaxSnps, file);
    list.emplace_back();
    if (in.scan(record, f) >= 1) {
      check_name(f[0].token, file, static_cast<long>(list.size()));
      list.back() = f[0].token;
    }
  }
  check_read(in, file);
  in.close();
  if (list.size() == 1 && list[0].str().empty()) list.clear();
}

}  // namespace

void open_files(Preprocessor& p) {
  textio::open_input(p.ld_in, kLdFile);
  textio::open_input(p.maf_in, kMafFile);
  textio::open_input(p.weight_in, kWeightFile);
  textio::open_input(p.done_in, kDoneFile);
  textio::open_input(p.undesirable_in, kUndesirableFile);
  textio::open_input(p.snp_list_in, kSnpListFile);
  try {
    textio::create_output(p.log, kLogFile, true);
    textio::create_output(p.ld_out, kLdOutFile, true);
    textio::create_output(p.maf_out, kMafOutFile, true);
  } catch (const textio::Failure&) {
    // Nothing is changed: the partial files created so far go.
    textio::abandon(p.log, kLogFile);
    textio::abandon(p.ld_out, kLdOutFile);
    throw;
  }
  p.emptying_outputs = std::jthread([&p] {
    p.log.empty();
    p.ld_out.empty();
    p.maf_out.empty();
  });
}

void read_inputs(Preprocessor& p) {
  read_snp_list(p);
  read_positions(p);
  read_thresholds(p);

  read_name_list(p.done_in, kDoneFile, p.done);
  p.log.put("total done SNP number is ");
  p.log.put_integer(static_cast<int64_t>(p.done.size()));
  p.log.put('\n');

  read_name_list(p.undesirable_in, kUndesirableFile, p.undesirable);
  p.log.put("undesirable SNPs total number is ");
  p.log.put_integer(static_cast<int64_t>(p.undesirable.size()));
  p.log.put('\n');

  std::vector<std::string_view> names;
  for (int i = 0; i < p.n; ++i) names.push_back(p.snps[i].name.str());
  p.snp_index.build(std::move(names));
}

}  // namespace ldprune
