// What the feed engine says about downloads and feeds, in mark-up: the status
// line texts and the entries of StatusMessages. Addresses are links, a
// problem links to the "Errors" view, and every moment is in the user's own
// date and time format.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace vrel {

// An address as a link that opens it.
std::string AddressLink(std::string_view address);

// The problem as a link to the "Errors" view, then the address: the status
// line after a download failed.
std::string ProblemLine(std::string_view problem, std::string_view address);

std::string DownloadingLine(std::string_view titleOrAddress);
// "downloading 6 feeds (124 to go)": several downloads side by side.
std::string ProgressLine(size_t running, size_t toGo);
std::string FoundFeedLine(std::string_view feedAddress);
// "Already in the list: TITLE": the Add box named a feed the list has.
std::string AlreadyListedLine(std::string_view title);

// What a page that gave no values began with, without any "<", so that no
// mark-up of the page survives into the message.
std::string PageExcerpt(std::string_view page);

// The StatusMessages entries.
std::string FoundFeedMessage(std::string_view feedAddress, std::string_view pageAddress, std::time_t now);
// What became of a feed that moved permanently: it took the new address; it
// kept its own, since another feed has the new one; or, new to the list,
// it was merged into the feed that has it.
enum class MoveKind { Moved, KeptOwnAddress, MergedIntoListed };
std::string MovedMessage(std::string_view from, std::string_view to, std::time_t now, MoveKind kind);
// Why a refusing server (410, or 429 and 503 with Retry-After) will not be
// asked again automatically, or not before when; plain text.
std::string GoneDetail();
std::string WaitDetail(std::time_t notBefore);

struct FailureFacts {
  std::string address;
  std::time_t when = 0;
  std::string attempts;           // "numattempts", when the feed is stored
  int consecutiveFailures = 0;    // this one included
  std::time_t failingSince = 0;   // when the run of failures began
  std::string detail;             // mark-up
};
// From this many failures in a row on, the message says the connection
// itself may be down.
std::string FailureMessage(const FailureFacts& facts, int suspectFailures);

}  // namespace vrel
