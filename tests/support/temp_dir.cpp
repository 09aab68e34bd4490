#include "temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace vrel::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vrel-test-XXXXXX").string();
  path_ = mkdtemp(pattern.data()) ? pattern : std::string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name, const std::string& contents) const {
  const std::string path = Path(name);
  std::ofstream(path, std::ios::binary) << contents;
  return path;
}

}  // namespace vrel::test
