// Where an address that a document names may lead the reader. A page or a
// subscription list that came from the network may only lead to http and
// https addresses: a file: link would have the reader read the user's own
// files (or /dev/zero for ever), and javascript: and the like are no feeds.
// A document read from a local file may also name local files.
#pragma once

#include <string_view>

namespace vrel {

// documentAddress: where the document came from, a URL or a local path.
// An address with a control character in it is never followed.
bool MayFollowLink(std::string_view documentAddress, std::string_view address);

}  // namespace vrel
