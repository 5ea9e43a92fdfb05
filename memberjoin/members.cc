// Reading and echoing the member list.
#include <string>

#include "common/limits.h"
#include "memberjoin/joiner.h"
#include "textio/row.h"

namespace memberjoin {
namespace {

// Copies the fields that scanned into the record's own slot; fields from a
// failed conversion on keep the slot's zero values.
void store_fields(const Variant& v, const textio::Field* f, int got, long record, Member& m) {
  const std::string file = v.member_file;
  for (int k = 0; k < got; ++k) {
    int field = k + 1;
    if (field == v.name_field) {
      textio::check_length(f[k].token, common::kMaxJoinerText, file, record, "SNP name");
      m.name = f[k].token.str();
    } else if (field == v.position_field) {
      textio::check_length(f[k].token, common::kMaxJoinerText, file, record, "position");
      m.position = f[k].token.str();
    } else if (field == v.maf_field) {
      textio::check_length(f[k].token, common::kMaxJoinerText, file, record, "MAF");
      m.maf = f[k].token.str();
    } else if (field == v.cluster_field) {
      textio::check_int32(f[k].integer, file, record, "cluster index");
      m.cluster = static_cast<int32_t>(f[k].integer);
    } else if (field == v.flag_field) {
      textio::check_int32(f[k].integer, file, record, "tag flag");
      m.flag = static_cast<int32_t>(f[k].integer);
    }
  }
}

}  // namespace

void write_record(textio::Writer& to, const Member& m, int32_t cluster) {
  textio::put_row(to, '\t', m.name, cluster, m.flag, m.position, m.maf);
}

void read_members(Joiner& j) {
  const Variant& v = j.variant;
  textio::Reader& in = j.member_in;

  // The first line is a header, whatever it holds; it keeps its own line end.
  in.read_line(j.line, 200);
  j.echo.put(std::string_view(j.line));
  j.echo.put('\n');

  const textio::Pattern pattern(v.member_pattern);
  const std::string file = v.member_file;
  const int bad = j.diag.kind("records in " + file + " that did not scan");
  const int unsorted = j.diag.kind("records in " + file + " out of cluster order");
  textio::Field f[10];
  j.members.clear();
  while (!in.eof()) {
    if (j.members.size() == static_cast<size_t>(kMaxMembers)) {
      textio::fail_input(file + ": more than " + std::to_string(kMaxMembers) + " records");
    }
    int got = in.scan(pattern, f);
    Member& m = j.members.emplace_back();
    const long record = static_cast<long>(j.members.size());
    store_fields(v, f, got, record, m);
    write_record(j.echo, m, m.cluster);
    // A blank attempt (a list of only its first line) reads nothing and is
    // not reported.
    if (got > 0 && got < pattern.conversions()) {
      j.diag.warn(bad, [&] {
        return textio::at_record(file, record) + "only " + std::to_string(got) + " of " +
               std::to_string(pattern.conversions()) + " fields scanned; the rest are 0 or empty";
      });
    }
    if (record > 1 && m.cluster < j.members[record - 2].cluster) {
      j.diag.warn(unsorted, [&] {
        return textio::at_record(file, record) + "cluster index " + std::to_string(m.cluster) + " follows " +
               std::to_string(j.members[record - 2].cluster) +
               ": the list is not sorted by cluster index, and records are joined in list order";
      });
    }
  }
  textio::check_read(in, v.member_file);
  in.close();

  // A list without any record has no clusters.
  j.clusters = j.members.empty() ? 0 : int64_t{j.members.back().cluster} + 1;
  if (j.clusters > kMaxClusters) {
    textio::fail_input(std::string(v.member_file) + ": the last record's cluster index " +
                       std::to_string(j.clusters - 1) + " gives more than " + std::to_string(kMaxClusters) +
                       " clusters");
  }

  // Every cluster number below K should have a record; a missing one makes
  // its walk take the first record that follows.
  std::vector<char> present(static_cast<size_t>(j.clusters > 0 ? j.clusters : 0), 0);
  for (const Member& m : j.members) {
    if (m.cluster >= 0 && m.cluster < j.clusters) present[m.cluster] = 1;
  }
  const int missing = j.diag.kind("cluster numbers missing from " + file);
  for (size_t c = 0; c < present.size(); ++c) {
    if (!present[c]) {
      j.diag.warn(missing, [&] {
        return file + ": cluster " + std::to_string(c) + " has no record; its walk takes the first record that follows";
      });
    }
  }
}

}  // namespace memberjoin
