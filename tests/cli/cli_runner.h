// Runs the vrel-cli binary under test and captures what it prints.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vrel::test {

struct CliResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

CliResult RunCli(const std::vector<std::string>& args);

// A vrel-cli running beside the test, as another user's command would.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args);
  ~CliProcess() { Finish(); }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t Pid() const { return pid_; }
  // What it has written to standard error so far.
  std::string ErrSoFar() const;
  bool Running();
  // Waits for it to end.
  CliResult Finish();

 private:
  TempDir dir_;
  std::string outPath_, errPath_;
  pid_t pid_ = -1;
  bool ended_ = false;
  CliResult result_;
};

std::string ReadWhole(const std::string& path);  // "" when it cannot be read

}  // namespace vrel::test
