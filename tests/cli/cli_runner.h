// Runs the vrel-cli binary under test and captures what it prints.
#pragma once

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

std::string ReadWhole(const std::string& path);  // "" when it cannot be read

}  // namespace vrel::test
