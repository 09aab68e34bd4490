#include "cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vrel::test {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Standard output and error go to files, so neither pipe can fill up and
// block the child.
CliProcess::CliProcess(const std::vector<std::string>& args)
    : outPath_(dir_.path() + "/out"), errPath_(dir_.path() + "/err") {
  std::vector<std::string> argvStrings{VREL_CLI_PATH};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ended_ = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0;
  posix_spawn_file_actions_destroy(&actions);
}

std::string CliProcess::ErrSoFar() const { return ReadWhole(errPath_); }

bool CliProcess::Running() {
  if (ended_) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  ended_ = true;
  if (WIFEXITED(status)) result_.status = WEXITSTATUS(status);
  return false;
}

CliResult CliProcess::Finish() {
  if (!ended_) {
    int status = 0;
    waitpid(pid_, &status, 0);
    ended_ = true;
    if (WIFEXITED(status)) result_.status = WEXITSTATUS(status);
  }
  result_.out = ReadWhole(outPath_);
  result_.err = ReadWhole(errPath_);
  return result_;
}

CliResult RunCli(const std::vector<std::string>& args) { return CliProcess(args).Finish(); }

}  // namespace vrel::test
