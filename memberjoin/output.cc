// Marking each cluster's tag SNP and writing the joined table.
#include <string>

#include "memberjoin/joiner.h"
#include "textio/name_index.h"
#include "textio/output_file.h"

namespace memberjoin {

namespace {

// Every record named by some cluster's tag name gets flag 1; the last such
// record is that cluster's tag member. Each name's records are flagged once,
// however many clusters name it.
void mark_tags(Joiner& j) {
  std::vector<std::string_view> names;
  for (const Member& m : j.members) names.push_back(m.name);
  textio::NameIndex index;
  index.build(std::move(names));
  std::vector<char> flagged(static_cast<size_t>(index.groups()), 0);

  const int k_count = static_cast<int>(j.tag_names.size());
  j.tag_member.assign(k_count, -1);
  const std::string file = j.variant.summary_file;
  const int unknown = j.diag.kind("clusters in " + file + " whose tag SNP is not in the member list");
  for (int c = 0; c < k_count; ++c) {
    int g = index.find(j.tag_names[c]);
    if (g == textio::NameIndex::kNone) {
      j.diag.warn(unknown, [&] {
        return file + ": cluster " + std::to_string(c) + ": tag SNP \"" + j.tag_names[c] +
               "\" is not in the member list; the cluster gets no tag line";
      });
      continue;
    }
    if (!flagged[g]) {
      flagged[g] = 1;
      for (int m : index.entries(g)) j.members[m].flag = 1;
    }
    j.tag_member[c] = index.last(g);
  }
}

}  // namespace

int mark_and_write(Joiner& j) {
  j.out.put("NAME\tORVANTE\tTag\tPosition\tMAF\n");
  if (j.variant.reset_flags) {
    for (Member& m : j.members) m.flag = 0;
  }
  mark_tags(j);

  // Grouped output: the cursor only moves forward. Each walk takes the
  // record at the cursor whatever its cluster, then the records that follow
  // in cluster c; only records with flag 0 are written by a walk.
  const size_t m_count = j.members.size();
  size_t cursor = 0;
  for (int c = 0; c < static_cast<int>(j.tag_member.size()); ++c) {
    if (j.tag_member[c] >= 0) write_record(j.out, j.members[j.tag_member[c]], c);
    bool first = true;
    while (cursor < m_count && (first || j.members[cursor].cluster == c)) {
      const Member& m = j.members[cursor++];
      if (m.flag == 0) write_record(j.out, m, m.cluster);
      first = false;
    }
  }
  // Records past the last walk (a list not sorted by cluster index) are
  // written nowhere.
  long lost = 0;
  for (size_t k = cursor; k < m_count; ++k) lost += j.members[k].flag == 0;
  if (lost > 0) {
    j.diag.warn(j.diag.kind("member lists with records no walk reaches"), [&] {
      return std::string(j.variant.member_file) + ": " + std::to_string(lost) + " record" + (lost == 1 ? "" : "s") +
             " from record " + std::to_string(cursor + 1) + " on " + (lost == 1 ? "is" : "are") +
             " left out of the table: the last record's cluster index gives " + std::to_string(j.tag_member.size()) +
             (j.tag_member.size() == 1 ? " cluster" : " clusters") + ", and the list is not sorted by it";
    });
  }

  // Written beside its name, the table takes it only when whole; a table
  // that could not be written leaves the name empty.
  int err = textio::commit(j.out, j.variant.output_file);
  if (err == 0) return textio::kExitOk;
  textio::empty_output(j.variant.output_file);
  j.diag.print(std::string("cannot write ") + j.variant.output_file + ": " + textio::describe_errno(err));
  return textio::kExitWriteError;
}

}  // namespace memberjoin
