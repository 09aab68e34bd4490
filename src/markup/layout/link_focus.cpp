#include "markup/layout/link_focus.h"

#include <algorithm>

namespace vrel::markup {

void LinkFocus::Update(const MarkupLayout& layout) {
  firstPieces_.clear();
  for (std::size_t i = 0; i < layout.links.size(); ++i)
    if (!(layout.links[i].flags & kLinkContinuation)) firstPieces_.push_back(static_cast<int>(i));
  focused_ = std::min(focused_, Count() - 1);
}

bool LinkFocus::Move(LinkKey key) {
  if (Count() == 0) return false;
  int target = kNoLink;
  switch (key) {
    case LinkKey::kTab:
    case LinkKey::kDown: target = focused_ + 1; break;
    case LinkKey::kBacktab: target = focused_ == kNoLink ? Count() - 1 : focused_ - 1; break;
    case LinkKey::kUp: target = focused_ == kNoLink ? kNoLink : focused_ - 1; break;
    case LinkKey::kHome: target = 0; break;
    case LinkKey::kEnd: target = Count() - 1; break;
  }
  if (target < 0 || target >= Count()) return false;
  focused_ = target;
  return true;
}

int LinkFocus::LinkOfPiece(int piece) const {
  const auto found = std::lower_bound(firstPieces_.begin(), firstPieces_.end(), piece);
  return found != firstPieces_.end() && *found == piece ? static_cast<int>(found - firstPieces_.begin()) : kNoLink;
}

LinkSpan LinkFocus::Span(const MarkupLayout& layout, int link) const {
  LinkSpan span;
  if (link < 0 || link >= Count()) return span;
  span.firstPiece = firstPieces_[link];
  span.endPiece = link + 1 < Count() ? firstPieces_[link + 1] : static_cast<int>(layout.links.size());
  span.top = layout.links[span.firstPiece].top;
  span.bottom = span.top;
  for (int piece = span.firstPiece; piece < span.endPiece; ++piece)
    span.bottom = std::max(span.bottom, layout.links[piece].bottom);
  return span;
}

int ScrollToShow(int top, int bottom, int scroll, int viewHeight) {
  if (top < scroll || bottom - top > viewHeight) return top;
  if (bottom > scroll + viewHeight) return bottom - viewHeight;
  return scroll;
}

}  // namespace vrel::markup
