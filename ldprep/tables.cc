// The five small ldprune inputs: SNP list, positions and MAFs, thresholds,
// done and undesirable SNPs.
#include "ldprep/converter.h"
#include "textio/output_file.h"
#include "textio/writer.h"

namespace ldprep {

const char* const kOutputs[6] = {"SNP_names.data", "ld.txt", "maf.txt", "weight.txt", "done.txt", "undesirable.txt"};

void finish_output(textio::Writer& out, const char* file) {
  if (!out.close()) {
    throw textio::Failure{textio::kExitWriteError, std::string("cannot write ") + file + ": " +
                                                       textio::describe_errno(out.error())};
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

void put_names(textio::Writer& out, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    out.put(name);
    out.put('\n');
  }
}

}  // namespace

void write_tables(Converter& c) {
  write_file("SNP_names.data", [&](textio::Writer& out) {
    out.put("SNP BP CHR");
    out.put(c.chromosome);
    out.put('\n');
    for (const Snp& s : c.snps) {
      out.put(s.name);
      out.put(' ');
      out.put_integer(s.position);
      out.put('\n');
    }
  });
  write_file("maf.txt", [&](textio::Writer& out) {
    for (const Snp& s : c.snps) {
      out.put(s.name);
      out.put(' ');
      out.put_integer(s.position);
      out.put(' ');
      out.put(s.maf);
      out.put('\n');
    }
  });
  write_file("weight.txt", [&](textio::Writer& out) {
    for (const Snp& s : c.snps) {
      out.put(s.name);
      out.put(' ');
      out.put(s.threshold);
      out.put('\n');
    }
  });
  write_file("done.txt", [&](textio::Writer& out) { put_names(out, c.done); });
  write_file("undesirable.txt", [&](textio::Writer& out) { put_names(out, c.undesirable); });
}

}  // namespace ldprep
