// vrel-cli: the headless front end over the reader's engine.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

using vrel::cli::Arguments;
using vrel::cli::GlobalOptions;

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  int (*run)(const Arguments&, const GlobalOptions&);
};

const Command kCommands[] = {
    {"xml", "xml [--count] FILE", "parse FILE and list its element index",
     vrel::cli::RunXmlCommand},
};

void PrintHelp(std::FILE* out) {
  std::fputs(
      "Usage: vrel-cli [--data PATH] COMMAND [ARGUMENTS]\n"
      "\n"
      "brackenfold News Reader, command-line front end.\n"
      "\n"
      "Options:\n"
      "  --data PATH   use PATH as the data file instead of the configured one\n"
      "  --help        show this help\n"
      "\n"
      "Commands:\n",
      out);
  for (const Command& command : kCommands) std::fprintf(out, "  %-28s %s\n", command.usage, command.summary);
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  GlobalOptions options;
  int i = 1;
  for (; i < argc && argv[i][0] == '-'; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      PrintHelp(stdout);
      return 0;
    }
    if (option == "--data" && i + 1 < argc) {
      options.dataPath = argv[++i];
      continue;
    }
    std::fprintf(stderr, "vrel-cli: unknown option '%s' (see vrel-cli --help)\n", argv[i]);
    return 2;
  }
  if (i == argc) {
    PrintHelp(stderr);
    return 2;
  }
  const Command* command = FindCommand(argv[i]);
  if (!command) {
    std::fprintf(stderr, "vrel-cli: unknown command '%s' (see vrel-cli --help)\n", argv[i]);
    return 2;
  }
  return command->run(Arguments(argv + i + 1, argv + argc), options);
}
