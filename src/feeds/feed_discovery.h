// Feed discovery: a web page names its feeds in its head with
// <link rel="alternate" type="application/rss+xml" href="...">, so an
// address that leads to a page instead of a feed can still find the feed.
#pragma once

#include <string>
#include <string_view>

namespace vrel {

// Whether a download is an HTML page rather than a feed: its first element
// is "html", or it was served as HTML and its first element is no feed's.
bool LooksLikeHtmlPage(std::string_view text, std::string_view contentType);

// The address of the first RSS, Atom or JSON Feed link of an HTML page,
// resolved against the page's own address (or its <base href>), that the
// page may lead to (see MayFollowLink); empty when the page names no feed.
std::string FindFeedLink(std::string_view page, const std::string& pageUrl);

}  // namespace vrel
