// vrel-cli import and export: subscription lists in OPML, to move feeds
// between this reader and others.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/session.h"
#include "feeds/opml.h"

namespace vrel::cli {

int RunImportCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: vrel-cli [--data PATH] import FILE\n");
    return 2;
  }
  Session session(options);
  const Outcome imported = ImportOpmlFile(session.Engine(), args[0]);
  if (!imported) {
    std::fprintf(stderr, "vrel-cli: import: %s\n", imported.Message().c_str());
    return 1;
  }
  std::printf("%s\n", imported.Message().c_str());
  return session.Save() ? 0 : 1;
}

int RunExportCommand(const Arguments& args, const GlobalOptions& options) {
  if (args.size() > 1) {
    std::fprintf(stderr, "usage: vrel-cli [--data PATH] export [FILE]\n");
    return 2;
  }
  Session session(options);
  if (args.empty()) {
    int exported = 0, leftOut = 0;
    const std::string text = ExportOpmlText(session.Engine(), exported, leftOut);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  const Outcome exported = ExportOpmlFile(session.Engine(), args[0]);
  std::fprintf(exported ? stdout : stderr, "%s%s\n", exported ? "" : "vrel-cli: export: ", exported.Message().c_str());
  return exported ? 0 : 1;
}

}  // namespace vrel::cli
