// libFuzzer entry: every input goes through the XmlDoc driver that the
// regression test replays.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "xml_exercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = vrel::ExerciseXmlDoc(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!fault.empty()) {
    std::fprintf(stderr, "XmlDoc fault: %s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
