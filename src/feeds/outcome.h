// How the feed engine's operations report how they went: an Outcome is a
// success or a failure, each with a message fit for a status line or a
// terminal (a failure says why; a success may say what it did, or nothing).
#pragma once

#include <string>
#include <utility>

namespace vrel {

class [[nodiscard]] Outcome {
 public:
  static Outcome Success(std::string report = {}) { return Outcome(true, std::move(report)); }
  static Outcome Failure(std::string why) { return Outcome(false, std::move(why)); }

  bool Ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& Message() const { return message_; }

 private:
  Outcome(bool ok, std::string message) : ok_(ok), message_(std::move(message)) {}

  bool ok_;
  std::string message_;
};

}  // namespace vrel
