// vrel-cli and the data file: paths that are no data file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_runner.h"

namespace vrel::test {
namespace {

TEST(DataFileUse, AFolderIsNoDataFile) {
  TempDir dir;
  for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"read", "all"}}) {
    std::vector<std::string> args{"--data", dir.path()};
    args.insert(args.end(), command.begin(), command.end());
    const CliResult result = RunCli(args);
    EXPECT_EQ(result.status, 1) << command[0];
    EXPECT_EQ(result.err, "vrel-cli: The data file " + dir.path() + " is a folder, not a file\n") << command[0];
  }
}

}  // namespace
}  // namespace vrel::test
