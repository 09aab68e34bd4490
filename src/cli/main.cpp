// vrel-cli: the headless front end over the reader's engine.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/session.h"

namespace {

using vrel::cli::Arguments;
using vrel::cli::GlobalOptions;

// Whether a command saves the data file: such a command holds the file's
// lock from loading to saving, so that no other vrel or vrel-cli changes it
// meanwhile; the others read the file as it was last saved.
enum Access : bool { kReads = false, kChanges = true };

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  int (*run)(const Arguments&, const GlobalOptions&);
  Access access = kReads;
};

const Command kCommands[] = {
    {"xml", "xml [--count] FILE", "parse FILE and list its element index",
     vrel::cli::RunXmlCommand},
    {"inspect", "inspect FILE|ADDRESS", "download a feed and list its items", vrel::cli::RunInspectCommand},
    {"merge", "merge ADDRESS FILE", "merge FILE as a download of ADDRESS into the data file",
     vrel::cli::RunMergeCommand, kChanges},
    {"add", "add TEXT", "add a feed as the Add box does (address, scrape(LIST)ADDRESS or COPYSCR)",
     vrel::cli::RunAddCommand, kChanges},
    {"update", "update [FEEDID|ADDRESS...]", "download the given feeds now, or all feeds",
     vrel::cli::RunUpdateCommand, kChanges},
    {"run", "run", "keep the feeds up to date until interrupted", vrel::cli::RunRunCommand, kChanges},
    {"list", "list", "the feed list with new and total item counts, folders after the other feeds",
     vrel::cli::RunListCommand},
    {"status", "status", "the status line", vrel::cli::RunStatusCommand},
    {"show", "show FEEDID [--brief] [--new]", "one feed: full or brief, all or new items",
     vrel::cli::RunShowCommand},
    {"new", "new [--folder NAME]", "the new items of all feeds, or of the feeds in folder NAME",
     vrel::cli::RunNewCommand},
    {"item", "item FEEDID FIRSTTIME SEQ", "one item's details", vrel::cli::RunItemCommand},
    {"search", "search TEXT", "items whose title, author or text contain TEXT", vrel::cli::RunSearchCommand},
    {"messages", "messages", "the status messages", vrel::cli::RunMessagesCommand},
    {"read", "read FEEDID|all", "mark a feed, or all feeds, as read", vrel::cli::RunReadCommand, kChanges},
    {"delete", "delete FEEDID", "remove a feed and everything stored in it", vrel::cli::RunDeleteCommand,
     kChanges},
    {"set", "set FEEDID [--title T] [--period P] [--scrape LIST] [--folder NAME]",
     "change a feed's settings (--folder \"\" takes it out of its folder)",
     vrel::cli::RunSetCommand, kChanges},
    {"open", "open FEEDID FIRSTTIME SEQ", "open an item's address in the browser and mark it visited",
     vrel::cli::RunOpenCommand, kChanges},
    {"import", "import FILE", "add the feeds of an OPML file that are not in the data file yet, in their folders",
     vrel::cli::RunImportCommand, kChanges},
    {"export", "export [FILE]", "write the feeds as OPML 2.0, folders as nested outlines, to FILE or standard output",
     vrel::cli::RunExportCommand},
};

void PrintHelp(std::FILE* out) {
  std::fputs(
      "Usage: vrel-cli [--data PATH] [--markup] COMMAND [ARGUMENTS]\n"
      "\n"
      "brackenfold News Reader, command-line front end.\n"
      "\n"
      "Options:\n"
      "  --data PATH   use PATH as the data file instead of the configured one\n"
      "  --markup      print views as mark-up instead of terminal text\n"
      "  FEEDID        a feed's number (as list shows it) or its address\n"
      "  NAME          a folder's name, nested ones as \"Outer/Inner\"\n"
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
  // Dates in messages follow the user's locale; numbers stay as the data
  // file writes them.
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
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
    if (option == "--markup") {
      options.markup = true;
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
  options.changesDataFile = command->access == kChanges;
  if (vrel::cli::RefuseWhileTrayProgramRuns(command->name, options)) return 1;
  return command->run(Arguments(argv + i + 1, argv + argc), options);
}
