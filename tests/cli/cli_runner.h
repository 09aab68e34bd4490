// Runs the vrel-cli binary under test and captures what it prints.
#pragma once

#include <string>
#include <vector>

namespace vrel::test {

struct CliResult {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

CliResult RunCli(const std::vector<std::string>& args);

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name, const std::string& contents) const;  // writes it, returns its path

 private:
  std::string path_;
};

}  // namespace vrel::test
