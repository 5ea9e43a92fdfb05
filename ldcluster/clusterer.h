// ldcluster: tag SNPs chosen from ldprune's processed tables.
//
// A run reads maf_processed.txt (each SNP's name, position and MAF) and
// ld_processed.txt (a tag score for every ordered pair) in the current
// directory, or, with several populations, in each population's folder. SNP
// a tags SNP b when the score of the record "a b s" is at least 1.0; a SNP
// whose own score is below 1.0 (an undesirable SNP) can tag nothing and so
// can be no tag. Each method chooses tags so that every SNP is tagged, puts
// every SNP into the cluster of one tag that tags it, and writes the member
// list and cluster summary Zentavor.result.<Method>.members.txt and
// Zentavor.result.<Method>.out:
//   Greedy   tags from a greedy cover;
//   Minimax  clusters merged by minimax linkage, each led by its centre;
//   Minimum  the fewest tags, an exact cover found by integer programming.
// With several populations one set of tags is chosen for all of them
// (populations.cc), and each population's folder gets its result files.
// The coverage order and the best tags for a budget are in budget.h.
//
// The run's steps are declared here, each in its own file; run() calls them in
// order on one Clusterer. A step that meets input it cannot handle throws
// textio::Failure: status 1 for input, 255 for an output that cannot be
// written.
#ifndef LDCLUSTER_CLUSTERER_H_
#define LDCLUSTER_CLUSTERER_H_

#include <cstdint>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "ldcluster/budget.h"
#include "ldcluster/methods.h"
#include "textio/diagnostics.h"
#include "textio/name_index.h"
#include "textio/reader.h"

namespace ldcluster {

constexpr const char* kProgram = "ldcluster";
constexpr const char* kSnpFile = "maf_processed.txt";
constexpr const char* kScoreFile = "ld_processed.txt";

enum Method { kGreedy, kMinimax, kMinimum, kMethods };
extern const char* const kMethodNames[kMethods];  // "Greedy", "Minimax", "Minimum"

struct Options {
  bool methods[kMethods] = {true, true, true};
  double time_limit = 10.0;              // seconds for the Minimum solver, and as many for budget_maximum
  std::string chromosome = "NA";         // written in the member lists
  std::vector<std::string> populations;  // folders of the populations; none for one in the current directory
  CoverageOptions coverage;
  // The score table read: ld_processed.txt, or the file of --scores.
  const char* score_file() const { return coverage.scores.empty() ? kScoreFile : coverage.scores.c_str(); }
};

struct Snp {
  std::string name;
  std::string position;  // copied as text, as the joiners copy it
  std::string maf;
};

// What a method chose: per SNP the tag of its cluster (itself for a tag),
// and lines for the summary's preamble.
struct Result {
  std::vector<int> tag_of;
  std::vector<std::string> notes;
};

// One population's processed tables, and what the methods chose there.
struct Table {
  std::string folder;      // "" for the current directory, else "<population>/"
  std::string population;  // its name, "" for the current directory
  // The two inputs, opened by open_inputs() (or on strings, for tests).
  textio::Reader snp_in{1 << 16}, score_in{1 << 16};
  std::vector<Snp> snps;
  textio::NameIndex index;  // names of snps
  ScoreMatrix scores;
  TagRelation relation;
  Result results[kMethods];
  std::vector<int> to_joint;  // per SNP, its index among all populations' SNPs

  std::string path(const char* file) const { return folder + file; }
};

struct Clusterer {
  explicit Clusterer(std::string* diagnostics_capture = nullptr) : diag(kProgram, diagnostics_capture) {}

  Options options;
  textio::Diagnostics diag;
  // ld_processed.txt of at least this many bytes is read on two threads,
  // when the machine has a second processor to run one of them.
  int64_t split_bytes = std::thread::hardware_concurrency() > 1 ? int64_t{8} << 20 : INT64_MAX;
  // One table per population, or one for the current directory. A deque,
  // so that a table stays where it is while more are added.
  std::deque<Table> tables;
  // With several populations: every SNP of any of them, by position (then
  // by the order the populations give), and its tables' joint relation:
  // SNP a tags item (population p, SNP b of p) as it does in p.
  std::vector<std::string> joint_names;
  TagRelation joint;
  CoverageResults coverage;

  Table& add_table(const std::string& population);
};

// Opens each table's maf_processed.txt and ld_processed.txt (inputs.cc).
void open_inputs(Clusterer& c);
// Reads each table's SNPs from maf_processed.txt (inputs.cc).
void read_snps(Clusterer& c);
// Reads each table's score of every ordered pair from ld_processed.txt
// (scores.cc).
void read_scores(Clusterer& c);
// Builds each table's tagging relation and checks that every SNP has a
// tagger that can be a tag; with several populations, their joint relation
// too (inputs.cc, populations.cc).
void build_relation(Clusterer& c);
// Runs the selected methods (run.cc).
void choose_tags(Clusterer& c);
// Writes the selected methods' result files in each table's folder, each
// renamed into place when whole (results.cc).
void write_results(Clusterer& c);

// The whole run in the current directory; returns the exit status (run.cc).
int run(Clusterer& c);

// The names of a method's two result files.
std::string members_file(Method m);
std::string summary_file(Method m);

// With several populations (populations.cc): the joint names and relation
// of the tables, built after their own relations.
void build_joint_relation(Clusterer& c);
// The chosen tags (indexes into joint_names) as each table's clusters: each
// SNP joins the chosen tag that gives it the highest score there.
void join_jointly_chosen(Clusterer& c, Method m, const std::vector<int>& tags);
// Minimax on all populations at once: one tag per SNP, which tags it in
// every population where it is; each table gets its part.
void minimax_jointly(Clusterer& c);

}  // namespace ldcluster

#endif  // LDCLUSTER_CLUSTERER_H_
