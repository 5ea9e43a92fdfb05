#include "program_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ldtag-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& content) const {
  std::ofstream f(path_ / name, std::ios::binary);
  f << content;
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream f(path_ / name, std::ios::binary);
  if (!f) return "<missing>";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

bool TempDir::exists(const std::string& name) const {
  return std::filesystem::exists(std::filesystem::symlink_status(path_ / name));
}

RunResult run_program(const std::string& program, const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::string out_path = (dir.path() / ".stdout").string();
  std::string err_path = (dir.path() / ".stderr").string();
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = dir.read(".stdout");
  r.err = dir.read(".stderr");
  std::filesystem::remove(dir.path() / ".stdout");
  std::filesystem::remove(dir.path() / ".stderr");
  return r;
}

}  // namespace testing_support
