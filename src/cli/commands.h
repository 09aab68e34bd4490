// The commands of vrel-cli. Each takes the arguments after its own name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace vrel::cli {

using Arguments = std::vector<std::string>;

struct GlobalOptions {
  std::string dataPath;  // --data PATH
};

int RunXmlCommand(const Arguments& args, const GlobalOptions& options);

}  // namespace vrel::cli
