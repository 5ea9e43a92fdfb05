// clustering-standin: a stand-in for an external clustering program, for the
// workflow's tests of clustering_command.
//
// This stand-in reads
// ld_processed.txt and maf_processed.txt in the current directory and writes
// the four result files in the real program's layouts:
// Zentavor.result.Greedy.members.txt, Zentavor.result.Greedy.out and the
// Minimax pair. Its clusters come from a plain greedy cover: tags are picked
// one at a time, each the SNP that tags the most SNPs not yet tagged; every
// other SNP joins a tag that tags it (the first such tag picked in the Greedy
// files, the one with the highest tag score in the Minimax files). So each
// cluster's tag tags every member, as the joiners expect. It is not a
// clustering method (ldcluster is), and it is not installed.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "textio/command_line.h"
#include "textio/diagnostics.h"
#include "textio/name_index.h"
#include "textio/output_file.h"
#include "textio/reader.h"
#include "textio/writer.h"

namespace {

using textio::fail_input;

constexpr const char* kProgram = "clustering-standin";
constexpr int kMaxSnps = 10000;

const char kUsage[] =
    "Usage: clustering-standin [--help | --version]\n"
    "\n"
    "A stand-in for an external clustering program, for tests only: it is not a\n"
    "clustering method. Reads ld_processed.txt and\n"
    "maf_processed.txt in the current directory and writes the four result files\n"
    "Zentavor.result.{Greedy,Minimax}.{members.txt,out} in the program's layouts,\n"
    "from a plain greedy cover in which each cluster's tag tags all its members.\n"
    "\n"
    "Exit status: 0 on success; 1 when an input cannot be read or is wrong;\n"
    "2 for a wrong argument; 255 when an output cannot be written.\n";

struct Snp {
  std::string name, position, maf;
};

struct Standin {
  std::vector<Snp> snps;
  textio::NameIndex index;
  std::vector<float> score;  // score[i * n + j]: tag score of i for j
  int n = 0;
  bool tags(int i, int j) const { return score[static_cast<size_t>(i) * n + j] >= 1.0f; }
  float at(int i, int j) const { return score[static_cast<size_t>(i) * n + j]; }
};

struct Cluster {
  int tag;
  std::vector<int> members;  // in list order, the tag among them
};

void read_snps(Standin& s) {
  const std::string file = "maf_processed.txt";
  textio::Reader in;
  textio::open_input(in, file);
  static const textio::Pattern kRecord("%s %s %s\n");
  textio::Field f[3];
  for (long record = 1; !in.eof(); ++record) {
    int got = in.scan(kRecord, f);
    if (got == 0) break;
    if (got < 3) fail_input(textio::at_record(file, record) + "expected name, position and MAF");
    if (s.snps.size() == kMaxSnps) fail_input(file + ": more than " + std::to_string(kMaxSnps) + " SNPs");
    s.snps.push_back({std::string(f[0].token.str()), std::string(f[1].token.str()), std::string(f[2].token.str())});
  }
  textio::check_read(in, file);
  s.n = static_cast<int>(s.snps.size());
  std::vector<std::string_view> names;
  for (const Snp& snp : s.snps) names.push_back(snp.name);
  s.index.build(names);
}

void read_scores(Standin& s) {
  const std::string file = "ld_processed.txt";
  textio::Reader in;
  textio::open_input(in, file);
  s.score.assign(static_cast<size_t>(s.n) * s.n, 0.0f);
  std::vector<char> seen(static_cast<size_t>(s.n) * s.n, 0);
  static const textio::Pattern kRecord("%s %s %f\n");
  textio::Field f[3];
  for (long record = 1; !in.eof(); ++record) {
    if (in.scan(kRecord, f) == 0) break;
    int a = s.index.find(f[0].token), b = s.index.find(f[1].token);
    if (a == textio::NameIndex::kNone || b == textio::NameIndex::kNone) {
      fail_input(textio::at_record(file, record) + "SNP " +
                 std::string((a == textio::NameIndex::kNone ? f[0] : f[1]).token.str()) +
                 " is not in maf_processed.txt");
    }
    size_t cell = static_cast<size_t>(s.index.first(a)) * s.n + s.index.first(b);
    s.score[cell] = f[2].real;
    seen[cell] = 1;
  }
  textio::check_read(in, file);
  if (auto hole = std::find(seen.begin(), seen.end(), 0); hole != seen.end()) {
    size_t cell = static_cast<size_t>(hole - seen.begin());
    fail_input(file + ": no score for SNPs " + s.snps[cell / s.n].name + " and " + s.snps[cell % s.n].name);
  }
}

// Picks tags until every SNP is tagged: each time the SNP that tags the most
// SNPs not yet tagged, the earliest in the list on a tie. Returns the tags in
// pick order and, per SNP, the first tag picked that tags it.
std::vector<int> pick_tags(const Standin& s, std::vector<int>* first_tag) {
  const int n = s.n;
  std::vector<int> count(n, 0), tags;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) count[i] += s.tags(i, j);
  }
  first_tag->assign(n, -1);
  for (int left = n; left > 0;) {
    int best = static_cast<int>(std::max_element(count.begin(), count.end()) - count.begin());
    if (count[best] == 0) {
      int j = static_cast<int>(std::find(first_tag->begin(), first_tag->end(), -1) - first_tag->begin());
      fail_input("SNP " + s.snps[j].name + " is tagged by no SNP, not even by itself");
    }
    tags.push_back(best);
    for (int j = 0; j < n; ++j) {
      if ((*first_tag)[j] >= 0 || !s.tags(best, j)) continue;
      (*first_tag)[j] = best;
      --left;
      for (int i = 0; i < n; ++i) count[i] -= s.tags(i, j);
    }
  }
  return tags;
}

// One cluster per tag, in pick order. A tag is in its own cluster; any other
// SNP joins the tag that `choose` gives it.
template <class Choose>
std::vector<Cluster> form_clusters(const Standin& s, const std::vector<int>& tags, Choose&& choose) {
  std::vector<int> cluster_of(s.n, -1);
  for (size_t c = 0; c < tags.size(); ++c) cluster_of[tags[c]] = static_cast<int>(c);
  std::vector<Cluster> clusters;
  for (int tag : tags) clusters.push_back({tag, {}});
  for (int j = 0; j < s.n; ++j) {
    int c = cluster_of[j] >= 0 ? cluster_of[j] : choose(j);
    clusters[c].members.push_back(j);
  }
  return clusters;
}

float similarity(const Standin& s, const Cluster& c, int member) {
  return member == c.tag ? 1.0f : s.at(c.tag, member);
}

void finish(textio::Writer& out, const std::string& file) {
  if (int err = textio::commit(out, file); err != 0) {
    throw textio::Failure{textio::kExitWriteError, "cannot write " + file + ": " + textio::describe_errno(err)};
  }
}

void write_result(const Standin& s, const std::string& method, const std::vector<Cluster>& clusters) {
  const bool greedy = method == "Greedy";
  const std::string base = "Zentavor.result." + method;
  textio::Writer members(1 << 16), summary(1 << 16);
  textio::create_output(members, base + ".members.txt");
  textio::create_output(summary, base + ".out");
  members.put(
      greedy ? "SNP\tCluster\tTag\tPosition\tMAF\tChromosome\tSimilarityToTag\tClusterSize\tWeight\n"
             : "SNP\tCluster\tPosition\tMAF\tChromosome\tClusterSize\tTag\tSimilarityToTag\tMaxDistance\tWeight\n");
  summary.put("Zentavor clustering result (written by clustering-standin, a stand-in for tests)\n");
  summary.put("Method: " + method + "\nInput: ld_processed.txt, maf_processed.txt\n");
  summary.put("SNPs: " + std::to_string(s.n) + "\nClusters: " + std::to_string(clusters.size()) + "\n\n");
  summary.put("Cluster\tSize\tTagging SNP\tAvg. sim.\n");
  for (size_t c = 0; c < clusters.size(); ++c) {
    const Cluster& cl = clusters[c];
    double sum = 0;
    float worst = 1.0f;
    for (int m : cl.members) {
      sum += similarity(s, cl, m);
      worst = std::min(worst, similarity(s, cl, m));
    }
    const std::string size = std::to_string(cl.members.size());
    for (int m : cl.members) {
      const Snp& snp = s.snps[m];
      members.put(snp.name + "\t" + std::to_string(c) + "\t");
      if (greedy) {
        members.put(std::string(m == cl.tag ? "1" : "0") + "\t" + snp.position + "\t" + snp.maf + "\tNA\t");
        members.put_real(similarity(s, cl, m));
        members.put("\t" + size + "\t1\n");
      } else {
        members.put(snp.position + "\t" + snp.maf + "\tNA\t" + size + "\t" + (m == cl.tag ? "1" : "0") + "\t");
        members.put_real(similarity(s, cl, m));
        members.put('\t');
        members.put_real(1.0f - worst);
        members.put("\t1\n");
      }
    }
    summary.put(std::to_string(c) + "\t" + size + "\t" + s.snps[cl.tag].name + "\t");
    summary.put_real(static_cast<float>(sum / static_cast<double>(cl.members.size())));
    summary.put('\n');
  }
  finish(members, base + ".members.txt");
  finish(summary, base + ".out");
}

int run() {
  textio::Diagnostics diag(kProgram);
  try {
    Standin s;
    read_snps(s);
    read_scores(s);
    std::vector<int> first_tag;
    std::vector<int> tags = pick_tags(s, &first_tag);
    std::vector<int> cluster_of_tag(s.n, -1);
    for (size_t c = 0; c < tags.size(); ++c) cluster_of_tag[tags[c]] = static_cast<int>(c);
    write_result(s, "Greedy", form_clusters(s, tags, [&](int j) { return cluster_of_tag[first_tag[j]]; }));
    write_result(s, "Minimax", form_clusters(s, tags, [&](int j) {
                   int best = cluster_of_tag[first_tag[j]];
                   for (size_t c = 0; c < tags.size(); ++c) {
                     if (s.tags(tags[c], j) && s.at(tags[c], j) > s.at(tags[best], j)) best = static_cast<int>(c);
                   }
                   return best;
                 }));
  } catch (const textio::Failure& failure) {
    diag.print(failure.message);
    return failure.status;
  }
  return textio::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  int status = textio::standard_arguments(argc, argv, kProgram, kUsage);
  if (status != textio::kRun) return status;
  return run();
}
