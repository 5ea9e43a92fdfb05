// The five small ldprune inputs: SNP list, positions and MAFs, thresholds,
// done and undesirable SNPs.
#include "ldprep/converter.h"
#include "textio/output_file.h"
#include "textio/row.h"
#include "textio/writer.h"

namespace ldprep {

const char* const kOutputs[6] = {"SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt"};

void finish_output(textio::Writer& out, const char* file) {
  if (!out.close()) {
    throw textio::Failure{textio::kExitWriteError,
                          std::string("cannot write ") + file + ": " + textio::describe_errno(out.error())};
  }
}

namespace {

// Creates `file` beside its name, lets `body` write it, and closes it.
template <class Body>
void write_file(const char* file, Body&& body) {
  textio::Writer out(1 << 16);
  textio::create_output(out, file);
  body(out);
  finish_output(out, file);
}

}  // namespace

void write_tables(Converter& c) {
  write_file("SNP_names.data", [&](textio::Writer& out) {
    textio::put_row(out, ' ', "SNP", "BP", "CHR" + c.chromosome);
    for (const Snp& s : c.snps) textio::put_row(out, ' ', s.name, s.position);
  });
  write_file("maf.txt", [&](textio::Writer& out) {
    for (const Snp& s : c.snps) textio::put_row(out, ' ', s.name, s.position, s.maf);
  });
  write_file("weight.txt", [&](textio::Writer& out) {
    for (const Snp& s : c.snps) textio::put_row(out, ' ', s.name, s.threshold);
  });
  write_file("done.txt", [&](textio::Writer& out) {
    for (const std::string& name : c.done) textio::put_row(out, ' ', name);
  });
  write_file("undesirable.txt", [&](textio::Writer& out) {
    for (const std::string& name : c.undesirable) textio::put_row(out, ' ', name);
  });
}

}  // namespace ldprep
