#pragma once

// Layout of mark-up text: UTF-8 with the tags B, I, U, SMALL, FONT color="r,g,b"
// and A, and HTML character references. Breaks lines to a width, and yields
// the runs to draw, the link pieces to hit-test and the content height.
// Coordinates are those of the unscrolled text: (0, 0) is the top left corner
// of the control when the scroll position is 0.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "markup/layout/text_measurer.h"

namespace vrel::markup {

// Characters gathered for one line at most; longer stretches are broken.
constexpr std::size_t kLineBufferSize = 500;

// Consecutive characters of one line in one style.
struct TextRun {
  int x = 0, y = 0;           // top left; runs of a line share their bottom
  int width = 0, height = 0;  // advance and cell height
  FontStyle font;
  Color color;
  std::u16string text;
};

enum LinkPieceFlags : std::int32_t {
  kLinkContinues = 2,      // the link goes on in the next piece
  kLinkContinuation = 1,   // the piece continues a link begun on an earlier line
};

// One line's part of a link. Only the first piece of a link holds its text:
// the link's mark-up from the '<' of its start tag through the '>' of its end tag.
struct LinkPiece {
  int left = 0, top = 0, right = 0, bottom = 0;
  std::string text;
  std::int32_t flags = 0;

  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

struct LayoutOptions {
  int client_width = 0;       // width of the control's client area
  int horizontal_margin = 0;  // blank border left and right
  int vertical_margin = 0;    // blank border top and bottom
};

struct MarkupLayout {
  std::vector<TextRun> runs;  // in reading order, so sorted by y
  std::vector<LinkPiece> links;
  int content_height = 0;  // text height plus both vertical margins

  // Index of the first piece of the link at the point, or -1.
  int HitTest(int x, int y) const;
};

// Lays out the whole text; the measurer is asked only at blanks, tags, line
// ends and every 30 characters, and once per run.
MarkupLayout LayOutMarkup(std::string_view markup, const LayoutOptions& options, TextMeasurer& measurer);

// The text as shown, without tags and with references resolved; lines end in
// '\n'. For screen readers.
std::string MarkupToPlainText(std::string_view markup);

}  // namespace vrel::markup
