// The commands of vrel-cli. Each takes the arguments after its own name and
// returns the process exit status.
#pragma once

#include <string>
#include <vector>

namespace vrel::cli {

using Arguments = std::vector<std::string>;

struct GlobalOptions {
  std::string dataPath;          // --data PATH
  bool markup = false;           // --markup: print views as mark-up
  bool changesDataFile = false;  // the command saves the data file
};

int RunXmlCommand(const Arguments& args, const GlobalOptions& options);
int RunInspectCommand(const Arguments& args, const GlobalOptions& options);
int RunMergeCommand(const Arguments& args, const GlobalOptions& options);
int RunAddCommand(const Arguments& args, const GlobalOptions& options);
int RunUpdateCommand(const Arguments& args, const GlobalOptions& options);
int RunRunCommand(const Arguments& args, const GlobalOptions& options);
int RunListCommand(const Arguments& args, const GlobalOptions& options);
int RunStatusCommand(const Arguments& args, const GlobalOptions& options);
int RunShowCommand(const Arguments& args, const GlobalOptions& options);
int RunNewCommand(const Arguments& args, const GlobalOptions& options);
int RunItemCommand(const Arguments& args, const GlobalOptions& options);
int RunSearchCommand(const Arguments& args, const GlobalOptions& options);
int RunMessagesCommand(const Arguments& args, const GlobalOptions& options);
int RunReadCommand(const Arguments& args, const GlobalOptions& options);
int RunDeleteCommand(const Arguments& args, const GlobalOptions& options);
int RunSetCommand(const Arguments& args, const GlobalOptions& options);
int RunOpenCommand(const Arguments& args, const GlobalOptions& options);
int RunImportCommand(const Arguments& args, const GlobalOptions& options);
int RunExportCommand(const Arguments& args, const GlobalOptions& options);

}  // namespace vrel::cli
