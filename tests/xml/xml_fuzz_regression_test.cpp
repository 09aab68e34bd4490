// Replays the kept fuzz inputs (seeds and every input that once broke the
// engine) through the fuzzer's own driver.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "xml_exercise.h"

namespace vrel {
namespace {

TEST(XmlFuzzRegressionTest, KeptInputsPassTheDriver) {
  const std::filesystem::path folder = std::filesystem::path(VREL_TEST_DATA_DIR) / "xml" / "fuzz";
  size_t replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::ostringstream bytes;
    bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    EXPECT_EQ(ExerciseXmlDoc(bytes.str()), "") << entry.path().filename();
    ++replayed;
  }
  EXPECT_GT(replayed, 0u);
}

}  // namespace
}  // namespace vrel
