#include <gtest/gtest.h>

#include "cli_runner.h"

namespace vrel::test {
namespace {

TEST(XmlCommand, ListsEveryElementInDocumentOrder) {
  TempDir dir;
  const std::string file = dir.File("a.xml", "<a x='1'>\n <b/>\n <c>t</c>\n</a>\n");
  CliResult result = RunCli({"xml", file});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "31 bytes\n"
            "well-formed\n"
            "0\ta\t0\t30\t9\t4\tFirstSibling\n"
            "1\tb\t11\t4\t4\t0\tFirstSibling\n"
            "1\tc\t17\t8\t3\t4\t\n");
}

TEST(XmlCommand, ReportsTheFirstErrorAndTheUnendedElements) {
  TempDir dir;
  const std::string file = dir.File("bad.xml", "<x><y></x>");
  CliResult result = RunCli({"xml", file});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "10 bytes, End tag 'x' at offset 7 does not match start tag 'y' at offset 3\n"
            "not well-formed\n"
            "0\tx\t0\t10\t3\t4\tFirstSibling\n"
            "1\ty\t3\t3\t3\t0\tFirstSibling,Unended\n");
}

TEST(XmlCommand, ANulByteInANameDoesNotCutTheLine) {
  TempDir dir;
  const std::string file = dir.File("nul.xml", std::string("<r><a\0b/></r>", 14));
  CliResult result = RunCli({"xml", file});
  EXPECT_NE(result.out.find("1\ta\\x00b\t3\t6\t6\t0\tFirstSibling\n"), std::string::npos)
      << result.out;
}

TEST(XmlCommand, CountsWithoutListing) {
  TempDir dir;
  const std::string file = dir.File("b.xml", "\xEF\xBB\xBF<r><i/><i/><i/></r>");
  CliResult result = RunCli({"xml", "--count", file});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "UTF-8 BOM + 19 bytes\nwell-formed\nelements 4\n");
}

TEST(XmlCommand, UnreadableFileAndBadArgumentsExitWithTwo) {
  TempDir dir;
  CliResult missing = RunCli({"xml", dir.path() + "/none.xml"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
  EXPECT_TRUE(missing.out.empty());

  CliResult folder = RunCli({"xml", dir.path()});
  EXPECT_EQ(folder.status, 2);
  EXPECT_NE(folder.err.find("Is a directory"), std::string::npos) << folder.err;

  EXPECT_EQ(RunCli({"xml"}).status, 2);
  EXPECT_EQ(RunCli({"xml", "--bogus", "f"}).status, 2);
  EXPECT_EQ(RunCli({"nonsense"}).status, 2);
  CliResult help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("xml [--count] FILE"), std::string::npos);
}

}  // namespace
}  // namespace vrel::test
