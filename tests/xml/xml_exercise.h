// The fuzz driver of XmlDoc, shared by the fuzzer and the regression test.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// Parses bytes, walks the whole index with every navigation and read, then
// applies edits chosen by the bytes themselves (read from the end backwards),
// checking the index after each. Returns "" or a description of what broke.
std::string ExerciseXmlDoc(std::string_view bytes);

}  // namespace vrel
