// The result files: per method a member list and a cluster summary, in the
// layouts the joiners read (Minimum in the Greedy layout).
//
// Clusters are numbered in the table order of their tags; each lists its
// members in table order, the tag among them. Besides the fields the joiners
// use, a member record holds the chromosome (--chromosome, else NA), the
// SNP's score from its tag (SimilarityToTag; the tag's own score for the
// tag), the cluster's size and the weight 1 (each SNP counts once in every
// method); a Minimax record also holds MaxDistance, 1 minus the lowest score
// from the tag to another member (at most 0, as the tag tags them all; 0 for
// a cluster of one). A summary row's "Avg. sim." is the mean score from the
// tag over the cluster's members, the tag included.
#include <algorithm>
#include <memory>

#include "ldcluster/clusterer.h"
#include "textio/command_line.h"
#include "textio/output_file.h"
#include "textio/row.h"

namespace ldcluster {

const char* const kMethodNames[kMethods] = {"Greedy", "Minimax", "Minimum"};

std::string members_file(Method m) { return std::string("Zentavor.result.") + kMethodNames[m] + ".members.txt"; }
std::string summary_file(Method m) { return std::string("Zentavor.result.") + kMethodNames[m] + ".out"; }

namespace {

struct Cluster {
  int tag;
  std::vector<int> members;  // in table order, the tag among them
};

std::vector<Cluster> clusters_of(const std::vector<int>& tag_of) {
  const int n = static_cast<int>(tag_of.size());
  std::vector<int> number(n, -1);
  std::vector<Cluster> clusters;
  for (int t = 0; t < n; ++t) {
    if (tag_of[t] == t) {
      number[t] = static_cast<int>(clusters.size());
      clusters.push_back({t, {}});
    }
  }
  for (int x = 0; x < n; ++x) clusters[number[tag_of[x]]].members.push_back(x);
  return clusters;
}

void write_method(const Clusterer& c, const Table& t, Method m, textio::Writer& members, textio::Writer& summary) {
  const bool minimax_layout = m == kMinimax;
  const std::vector<Cluster> clusters = clusters_of(t.results[m].tag_of);
  members.put(minimax_layout
                  ? "SNP\tCluster\tPosition\tMAF\tChromosome\tClusterSize\tTag\tSimilarityToTag\tMaxDistance\tWeight\n"
                  : "SNP\tCluster\tTag\tPosition\tMAF\tChromosome\tSimilarityToTag\tClusterSize\tWeight\n");
  summary.put(std::string(kProgram) + " " + textio::kVersion + ": " + kMethodNames[m] + " clusters\n");
  if (c.tables.size() > 1) {
    std::string all;
    for (const Table& other : c.tables) all += (all.empty() ? "" : ", ") + other.population;
    summary.put("Population: " + t.population + ", one of " + all + ", whose tags are chosen together\n");
  }
  summary.put("Input: " + t.path(kScoreFile) + ", " + t.path(kSnpFile) + "\n");
  textio::put_row(summary, ' ', "SNPs:", t.snps.size());
  textio::put_row(summary, ' ', "Clusters:", clusters.size());
  for (const std::string& note : t.results[m].notes) summary.put(note + "\n");
  summary.put("\nCluster\tSize\tTagging SNP\tAvg. sim.\n");

  for (size_t k = 0; k < clusters.size(); ++k) {
    const Cluster& cl = clusters[k];
    double sum = 0;
    float lowest = 0;
    bool others = false;
    for (int x : cl.members) {
      float score = t.scores.at(cl.tag, x);
      sum += score;
      if (x != cl.tag && (!others || score < lowest)) lowest = score;
      others = others || x != cl.tag;
    }
    const double max_distance = others ? 1.0 - static_cast<double>(lowest) : 0.0;
    const size_t size = cl.members.size();
    for (int x : cl.members) {
      const Snp& s = t.snps[x];
      const char* flag = x == cl.tag ? "1" : "0";
      const float score = t.scores.at(cl.tag, x);
      const std::string& chromosome = c.options.chromosome;
      if (minimax_layout) {
        textio::put_row(members, '\t', s.name, k, s.position, s.maf, chromosome, size, flag, score, max_distance, 1);
      } else {
        textio::put_row(members, '\t', s.name, k, flag, s.position, s.maf, chromosome, score, size, 1);
      }
    }
    textio::put_row(summary, '\t', k, size, t.snps[cl.tag].name, sum / static_cast<double>(size));
  }
}

}  // namespace

void write_results(Clusterer& c) {
  // Every file is written whole beside its name first, then all are renamed
  // into place, so that a failure leaves no result half-written.
  std::vector<std::unique_ptr<textio::OutputFile>> files;
  for (const Table& t : c.tables) {
    for (int m = 0; m < kMethods; ++m) {
      if (!c.options.methods[m]) continue;
      textio::OutputFile* members =
          files.emplace_back(std::make_unique<textio::OutputFile>(t.folder + members_file(Method(m)), 1 << 16)).get();
      textio::OutputFile* summary =
          files.emplace_back(std::make_unique<textio::OutputFile>(t.folder + summary_file(Method(m)), 1 << 16)).get();
      members->create();
      summary->create();
      write_method(c, t, Method(m), members->out(), summary->out());
    }
  }
  for (auto& f : files) f->commit();
}

}  // namespace ldcluster
