#pragma once

// The keyboard's way through the links of a laid-out text. Links are
// numbered 0, 1, ... in reading order by their first pieces, so a number
// still names the same link after the text is laid out again at another
// width.

#include <vector>

#include "markup/layout/markup_layout.h"

namespace vrel::markup {

constexpr int kNoLink = -1;

enum class LinkKey {
  kTab,      // next link; from none, the first
  kBacktab,  // previous link; from none, the last
  kDown,     // next link; from none, the first
  kUp,       // previous link; from none, nothing
  kHome,     // first link
  kEnd,      // last link
};

// Where a link lies: its pieces in the layout's table, and the band of
// lines they cover.
struct LinkSpan {
  int firstPiece = 0, endPiece = 0;  // [firstPiece, endPiece)
  int top = 0, bottom = 0;
};

class LinkFocus {
 public:
  // Takes the links of a new layout. The focused number stays while the
  // text has that many links, else the last link (or none) takes it.
  void Update(const MarkupLayout& layout);

  int Count() const { return static_cast<int>(firstPieces_.size()); }
  int Focused() const { return focused_; }
  void Set(int link) { focused_ = link >= 0 && link < Count() ? link : kNoLink; }
  void Clear() { focused_ = kNoLink; }

  // Moves the focus as the key says; false (and the focus stays) when
  // there is no link that way, so the key may scroll or leave instead.
  bool Move(LinkKey key);

  // The number of the link whose first piece has this index in the table.
  int LinkOfPiece(int piece) const;
  LinkSpan Span(const MarkupLayout& layout, int link) const;

 private:
  std::vector<int> firstPieces_;
  int focused_ = kNoLink;
};

// The scroll position at which [top, bottom) is in a view of the given
// height: unchanged when it is in view already; when it is taller than the
// view, its top shows.
int ScrollToShow(int top, int bottom, int scroll, int viewHeight);

}  // namespace vrel::markup
