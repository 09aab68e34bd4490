// The viewer's browser-like history of the request documents it showed.
#pragma once

#include <string>
#include <vector>

namespace vrel::ui {

class ViewerHistory {
 public:
  // A request that was just shown. Showing the current entry again keeps the
  // history; anything else becomes the entry after the current one and the
  // entries forward of it are dropped.
  void Record(const std::string& request);
  // Move the current entry; false (nothing moved) at either end.
  bool Back();
  bool Forward();

  bool Empty() const { return current_ < 0; }
  const std::string& Current() const;  // empty while the history is empty
  int CurrentIndex() const { return current_; }
  const std::vector<std::string>& Entries() const { return entries_; }

 private:
  std::vector<std::string> entries_;
  int current_ = -1;
};

}  // namespace vrel::ui
