// Running a built program in a fresh temporary directory, for end-to-end
// tests: write the input files, run, read back every file and both streams.
#ifndef TESTS_PROGRAM_RUN_H_
#define TESTS_PROGRAM_RUN_H_

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const;
  // The file's content, or "<missing>" when there is no such file.
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `program` with `args` and the directory as its working directory.
RunResult run_program(const std::string& program, const TempDir& dir, const std::vector<std::string>& args = {});

}  // namespace testing_support

#endif  // TESTS_PROGRAM_RUN_H_
