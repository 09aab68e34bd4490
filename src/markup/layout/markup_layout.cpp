#include "markup/layout/markup_layout.h"

#include <algorithm>
#include <cctype>

#include "xml/html_references.h"
#include "xml/xml_encoding.h"

namespace vrel::markup {
namespace {

constexpr char32_t kReplacementChar = 0xFFFD;
constexpr std::size_t kMeasureEvery = 30;
constexpr std::size_t kMinLinkTagLength = 10;
constexpr Color kLinkColor{0, 0, 100};

bool IsTagBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// One shown character: a character reference or one UTF-8 character (bad
// bytes give U+FFFD each).
struct DecodedChar {
  char32_t code_point;
  std::size_t length;  // bytes of mark-up it takes
};

DecodedChar DecodeUtf8At(std::string_view text, std::size_t offset) {
  const char* const start = text.data() + offset;
  const char* cursor = start;
  const int code = DecodeUtf8Char(cursor, text.data() + text.size());
  if (code < 0) return {kReplacementChar, 1};
  return {static_cast<char32_t>(code), static_cast<std::size_t>(cursor - start)};
}

// Decodes the character at offset, which is not the '<' of a tag.
DecodedChar DecodeCharAt(std::string_view markup, std::size_t offset) {
  if (markup[offset] == '&') {
    const CharacterReference reference = ReadCharacterReference(markup.substr(offset));
    if (reference.length != 0) return {reference.codePoint, reference.length};
    return {U'&', 1};
  }
  return DecodeUtf8At(markup, offset);
}

// Reads "color" = value from a FONT tag's text after "FONT" and one further
// character; keeps the colour when the value is not three numbers.
Color ParseFontColor(std::string_view attributes, Color current) {
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < attributes.size() && IsTagBlank(attributes[i])) ++i;
  };
  skip_blanks();
  if (!EqualsNoCase(attributes.substr(i, 5), "color")) return current;
  i += 5;
  skip_blanks();
  if (i >= attributes.size() || attributes[i] != '=') return current;
  ++i;
  skip_blanks();
  if (i < attributes.size() && attributes[i] == '"') ++i;
  int parts[3];
  for (int p = 0; p < 3; ++p) {
    if (p > 0) {
      if (i >= attributes.size() || attributes[i] != ',') return current;
      ++i;
    }
    skip_blanks();
    bool negative = false;
    if (i < attributes.size() && (attributes[i] == '-' || attributes[i] == '+')) negative = attributes[i++] == '-';
    std::size_t first_digit = i;
    long value = 0;
    while (i < attributes.size() && std::isdigit(static_cast<unsigned char>(attributes[i])) && value < 100000)
      value = value * 10 + (attributes[i++] - '0');
    if (i == first_digit) return current;
    parts[p] = static_cast<int>(std::clamp(negative ? -value : value, 0L, 255L));
  }
  return Color{static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
               static_cast<std::uint8_t>(parts[2])};
}

struct Tag {
  bool is_end;
  std::string_view name;
  std::string_view inner;  // text between '<' and '>'
  std::size_t begin, end;  // end is past the '>' (or the end of the text)
};

Tag ReadTag(std::string_view text, std::size_t begin) {
  std::size_t close = text.find('>', begin + 1);
  std::size_t inner_end = close == std::string_view::npos ? text.size() : close;
  std::string_view inner = text.substr(begin + 1, inner_end - begin - 1);
  std::size_t end = close == std::string_view::npos ? text.size() : close + 1;
  if (!inner.empty() && inner[0] == '/') return {true, inner.substr(1), inner, begin, end};
  std::size_t name_end = 0;
  while (name_end < inner.size() && !IsTagBlank(inner[name_end]) && inner[name_end] != '/') ++name_end;
  return {false, inner.substr(0, name_end), inner, begin, end};
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

struct StyleEntry {
  FontStyle font;
  Color color;
  std::string_view tag_name;
  std::uint32_t parent;
  std::size_t tag_offset;
};

struct LinkState {
  bool open = false;
  std::size_t first_piece = 0;
  std::size_t tag_offset = 0;
};

// Where one UTF-16 unit of the line buffer came from.
struct Slot {
  std::uint32_t style;
  std::size_t end;  // mark-up offset just past the character
};

// State before a tag of the current line, so a break before the tag can
// undo it: the tag is read again on the next line.
struct Snapshot {
  std::size_t slot_count;
  std::uint32_t style;
  std::size_t style_count;
  LinkState link;
  std::size_t piece_count;
};

class LineBreaker {
 public:
  LineBreaker(std::string_view text, const LayoutOptions& options, TextMeasurer& measurer)
      : text_(text), measurer_(measurer), left_(options.horizontal_margin),
        line_width_(options.client_width - 2 * options.horizontal_margin + 1),
        top_(options.vertical_margin), vertical_margin_(options.vertical_margin) {
    styles_.push_back({FontStyle{}, Color{}, {}, 0, 0});
    slots_.reserve(kLineBufferSize);
    units_.reserve(kLineBufferSize);
  }

  MarkupLayout LayOut() {
    while (pos_ < text_.size()) LayOutLine();
    CloseUnendedLink();
    result_.content_height = top_ + vertical_margin_;
    return std::move(result_);
  }

 private:
  const StyleEntry& Current() const { return styles_[style_]; }

  void LayOutLine() {
    slots_.clear();
    units_.clear();
    snapshots_.clear();
    measured_ = 0;
    measured_width_ = 0;
    after_last_blank_ = 0;
    line_height_ = 1;
    if (link_.open) result_.links.push_back({left_, top_, 0, 0, {}, kLinkContinuation});
    if (!GatherLine()) BreakLine();
    FinishLine();
  }

  // Collects the line's characters; false when they overflow the width.
  bool GatherLine() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '<') {
        if (!Measure()) return false;
        ProcessTag(ReadTag(text_, pos_));
        continue;
      }
      if (c == '\r' || c == '\n') {
        if (!Measure()) return false;
        pos_ += (c == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ? 2 : 1;
        return true;
      }
      DecodedChar decoded = DecodeCharAt(text_, pos_);
      char32_t shown = decoded.code_point == '\t' ? U' ' : decoded.code_point;
      std::size_t units = shown >= 0x10000 ? 2 : 1;
      if (slots_.size() + units > kLineBufferSize) return Measure();
      if (shown == U' ' && !Measure()) return false;
      pos_ += decoded.length;
      Append(shown);
      if (shown == U' ') after_last_blank_ = slots_.size();
      if (slots_.size() - measured_ >= kMeasureEvery && !Measure()) return false;
    }
    return Measure();
  }

  void Append(char32_t c) {
    AppendUtf16(units_, c);
    slots_.resize(units_.size(), Slot{style_, pos_});
  }

  std::u16string_view SlotText(std::size_t from, std::size_t to) const {
    return std::u16string_view(units_).substr(from, to - from);
  }

  // Measures the characters gathered since the last check; false when they
  // do not fit on the line.
  bool Measure() {
    line_height_ = std::max(line_height_, measurer_.Height(Current().font));
    if (measured_ == slots_.size()) return true;
    int width = measurer_.Width(SlotText(measured_, slots_.size()), Current().font);
    if (measured_width_ + width >= line_width_) return false;
    measured_width_ += width;
    measured_ = slots_.size();
    return true;
  }

  // Cuts the overflowing line after its last blank, or else after as many
  // characters as fit (at least one); the rest is read again on the next line.
  void BreakLine() {
    std::size_t keep = after_last_blank_ > 0 ? after_last_blank_ : CharactersThatFit();
    if (keep < slots_.size() && units_[keep] == u' ') ++keep;
    pos_ = slots_[keep - 1].end;
    slots_.resize(keep);
    units_.resize(keep);
    auto undone = std::find_if(snapshots_.begin(), snapshots_.end(),
                               [keep](const Snapshot& s) { return s.slot_count >= keep; });
    if (undone != snapshots_.end()) Restore(*undone);
  }

  std::size_t CharactersThatFit() {
    std::size_t keep = slots_.size();
    auto step_back = [&] {
      --keep;
      if (keep > 0 && IsLowSurrogate(units_[keep])) --keep;
    };
    step_back();
    while (keep > measured_ &&
           measured_width_ + measurer_.Width(SlotText(measured_, keep), Current().font) >= line_width_)
      step_back();
    if (keep > 0) return keep;
    return slots_.size() > 1 && IsLowSurrogate(units_[1]) ? 2 : 1;
  }

  void Restore(const Snapshot& s) {
    style_ = s.style;
    styles_.resize(s.style_count);
    link_ = s.link;
    result_.links.resize(s.piece_count);
    if (link_.open) result_.links[link_.first_piece].text.clear();
  }

  void ProcessTag(const Tag& tag) {
    snapshots_.push_back({slots_.size(), style_, styles_.size(), link_, result_.links.size()});
    pos_ = tag.end;
    if (tag.is_end) {
      if (style_ != 0 && Current().tag_name == tag.name) style_ = Current().parent;
      if (EqualsNoCase(tag.name, "A")) EndLink(tag.end);
      return;
    }
    StyleEntry entry{Current().font, Current().color, tag.name, style_, tag.begin};
    if (EqualsNoCase(tag.name, "B")) entry.font.bold = true;
    else if (EqualsNoCase(tag.name, "I")) entry.font.italic = true;
    else if (EqualsNoCase(tag.name, "U")) entry.font.underline = true;
    else if (EqualsNoCase(tag.name, "SMALL")) entry.font.small = true;
    else if (EqualsNoCase(tag.name, "FONT") && tag.inner.size() > 5)
      entry.color = ParseFontColor(tag.inner.substr(5), entry.color);
    else if (EqualsNoCase(tag.name, "A") && tag.inner.size() >= kMinLinkTagLength) {
      entry.font.underline = true;
      entry.color = kLinkColor;
      StartLink(tag.begin);
    }
    styles_.push_back(entry);
    style_ = static_cast<std::uint32_t>(styles_.size() - 1);
  }

  void StartLink(std::size_t tag_offset) {
    // A link that never ended takes the mark-up up to the next link.
    EndLink(tag_offset);
    result_.links.push_back({left_ + measured_width_, top_, 0, 0, {}, 0});
    link_ = {true, result_.links.size() - 1, tag_offset};
  }

  void EndLink(std::size_t end_offset) {
    if (!link_.open) return;
    LinkPiece& piece = result_.links.back();
    piece.right = left_ + measured_width_;
    piece.bottom = top_ + measurer_.Height(Current().font);
    result_.links[link_.first_piece].text = std::string(text_.substr(link_.tag_offset, end_offset - link_.tag_offset));
    link_.open = false;
  }

  void CloseUnendedLink() {
    if (!link_.open) return;
    result_.links.back().flags &= ~kLinkContinues;
    result_.links[link_.first_piece].text = std::string(text_.substr(link_.tag_offset));
    link_.open = false;
  }

  // Turns the kept characters into runs aligned on the line's bottom.
  void FinishLine() {
    int x = 0;
    for (std::size_t begin = 0; begin < slots_.size();) {
      std::size_t end = begin + 1;
      while (end < slots_.size() && slots_[end].style == slots_[begin].style) ++end;
      const StyleEntry& style = styles_[slots_[begin].style];
      TextRun run{left_ + x, 0, 0, measurer_.Height(style.font), style.font, style.color, std::u16string(SlotText(begin, end))};
      run.width = measurer_.Width(run.text, run.font);
      run.y = top_ + line_height_ - run.height;
      x += run.width;
      result_.runs.push_back(std::move(run));
      begin = end;
    }
    if (link_.open) {
      LinkPiece& piece = result_.links.back();
      piece.right = left_ + x;
      piece.bottom = top_ + measurer_.Height(Current().font);
      piece.flags |= kLinkContinues;
    }
    top_ += line_height_;
  }

  std::string_view text_;
  TextMeasurer& measurer_;
  const int left_;
  const int line_width_;
  int top_;
  const int vertical_margin_;
  MarkupLayout result_;

  std::size_t pos_ = 0;
  std::vector<StyleEntry> styles_;
  std::uint32_t style_ = 0;
  LinkState link_;

  std::vector<Slot> slots_;
  std::u16string units_;  // the line buffer, parallel to slots_
  std::vector<Snapshot> snapshots_;
  std::size_t measured_ = 0;
  int measured_width_ = 0;
  std::size_t after_last_blank_ = 0;
  int line_height_ = 1;
};

}  // namespace

int MarkupLayout::HitTest(int x, int y) const {
  for (std::size_t i = 0; i < links.size(); ++i) {
    if (!links[i].Contains(x, y)) continue;
    while (i > 0 && (links[i].flags & kLinkContinuation)) --i;
    return static_cast<int>(i);
  }
  return -1;
}

MarkupLayout LayOutMarkup(std::string_view markup, const LayoutOptions& options, TextMeasurer& measurer) {
  return LineBreaker(markup, options, measurer).LayOut();
}

std::string MarkupToPlainText(std::string_view markup) {
  std::string out;
  out.reserve(markup.size());
  for (std::size_t pos = 0; pos < markup.size();) {
    char c = markup[pos];
    if (c == '<') {
      pos = ReadTag(markup, pos).end;
    } else if (c == '\r' || c == '\n') {
      pos += (c == '\r' && pos + 1 < markup.size() && markup[pos + 1] == '\n') ? 2 : 1;
      out += '\n';
    } else {
      DecodedChar decoded = DecodeCharAt(markup, pos);
      char32_t shown = decoded.code_point == '\t' ? U' ' : decoded.code_point;
      pos += decoded.length;
      AppendUtf8(out, static_cast<int>(shown));
    }
  }
  return out;
}

}  // namespace vrel::markup
