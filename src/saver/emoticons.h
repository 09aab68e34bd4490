// The faces the screen saver sprinkles beside the news. The list repeats
// some faces on purpose: each row is one chance to be picked.
#pragma once

#include <string_view>
#include <vector>

namespace vrel::saver {

using Emoticons = std::vector<std::string_view>;

const Emoticons& EmoticonTable();

}  // namespace vrel::saver
