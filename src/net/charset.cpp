#include "net/charset.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>

#include "xml/xml_encoding.h"

namespace vrel {
namespace {

constexpr std::string_view kUtf8 = "UTF-8";
constexpr std::string_view kWindows1252 = "CP1252";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
// How far into a web page a <meta> charset is looked for.
constexpr size_t kMetaScanLimit = 4096;
constexpr size_t kMaxCharsetName = 40;

struct Detection {
  std::string charset;
  size_t bomLength = 0;
};

// A value inside the text: offset and length.
struct Span {
  size_t offset = 0;
  size_t length = 0;
};

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string LowerTrimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
  return lower;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

size_t FindNoCase(std::string_view text, std::string_view word, size_t from) {
  for (size_t i = from; i + word.size() <= text.size(); ++i) {
    if (StartsWithNoCase(text.substr(i), word)) return i;
  }
  return std::string_view::npos;
}

size_t SkipSpaces(std::string_view text, size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

// --- UTF-8 ------------------------------------------------------------------

struct Utf8Sequence {
  size_t length = 1;
  bool valid = false;
};

// The UTF-8 sequence that starts with the non-ASCII byte in[i]: its length,
// or for an ill-formed one (overlong forms, surrogates, values above
// U+10FFFF, stray or missing continuation bytes) the length of its maximal
// ill-formed subsequence.
Utf8Sequence ReadUtf8Sequence(std::string_view in, size_t i) {
  const auto lead = static_cast<uint8_t>(in[i]);
  size_t needed = 0;
  uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    needed = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    needed = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    needed = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  Utf8Sequence sequence;
  while (sequence.length <= needed && i + sequence.length < in.size()) {
    const auto next = static_cast<uint8_t>(in[i + sequence.length]);
    if (next < (sequence.length == 1 ? low : 0x80) || next > (sequence.length == 1 ? high : 0xBF)) break;
    ++sequence.length;
  }
  sequence.valid = needed != 0 && sequence.length == needed + 1;
  return sequence;
}

struct Utf8Facts {
  bool valid = true;
  bool multiByte = false;  // holds a character beyond ASCII
};

Utf8Facts ScanUtf8(std::string_view bytes) {
  Utf8Facts facts;
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const Utf8Sequence sequence = ReadUtf8Sequence(bytes, i);
    if (!sequence.valid) return {false, facts.multiByte};
    facts.multiByte = true;
    i += sequence.length;
  }
  return facts;
}

// Copies UTF-8, replacing each maximal ill-formed subsequence with U+FFFD.
void AppendSanitisedUtf8(std::string_view in, std::string& out) {
  out.reserve(out.size() + in.size());
  size_t i = 0;
  while (i < in.size()) {
    if (static_cast<uint8_t>(in[i]) < 0x80) {
      size_t run = i + 1;
      while (run < in.size() && static_cast<uint8_t>(in[run]) < 0x80) ++run;
      out.append(in, i, run - i);
      i = run;
      continue;
    }
    const Utf8Sequence sequence = ReadUtf8Sequence(in, i);
    if (sequence.valid) {
      out.append(in, i, sequence.length);
    } else {
      out.append(kReplacement);
    }
    i += sequence.length;
  }
}

// --- Where the bytes say what they are -----------------------------------

std::optional<Detection> DetectByteOrderMark(std::string_view bytes) {
  struct Mark {
    std::string_view bytes;
    const char* charset;
  };
  // UTF-32LE before UTF-16LE: its mark begins with the UTF-16LE mark.
  static constexpr Mark kMarks[] = {
      {std::string_view("\xFF\xFE\0\0", 4), "UTF-32LE"},
      {std::string_view("\0\0\xFE\xFF", 4), "UTF-32BE"},
      {"\xEF\xBB\xBF", "UTF-8"},
      {"\xFF\xFE", "UTF-16LE"},
      {"\xFE\xFF", "UTF-16BE"},
  };
  for (const Mark& mark : kMarks) {
    if (bytes.substr(0, mark.bytes.size()) == mark.bytes) return Detection{mark.charset, mark.bytes.size()};
  }
  return std::nullopt;
}

// A document begins with an ASCII character ('<' or white space); in UTF-16
// and UTF-32 the rest of its code unit is zero bytes.
const char* DetectWideByZeroBytes(std::string_view bytes) {
  auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
  auto ascii = [](uint8_t b) { return b != 0 && b < 0x80; };
  if (bytes.size() >= 4 && ascii(at(0)) && at(1) == 0 && at(2) == 0 && at(3) == 0) return "UTF-32LE";
  if (bytes.size() >= 4 && at(0) == 0 && at(1) == 0 && at(2) == 0 && ascii(at(3))) return "UTF-32BE";
  if (bytes.size() >= 2 && ascii(at(0)) && at(1) == 0) return "UTF-16LE";
  if (bytes.size() >= 2 && at(0) == 0 && ascii(at(1))) return "UTF-16BE";
  return nullptr;
}

// The span of the encoding="..." value of a leading XML declaration.
std::optional<Span> XmlDeclarationEncoding(std::string_view text) {
  const size_t start = SkipSpaces(text, 0);
  if (text.compare(start, 5, "<?xml") != 0 || start + 5 >= text.size() || !IsSpace(text[start + 5])) {
    return std::nullopt;
  }
  const size_t end = text.find("?>", start);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view declaration = text.substr(0, end);
  for (size_t pos = declaration.find("encoding", start); pos != std::string_view::npos;
       pos = declaration.find("encoding", pos + 1)) {
    if (!IsSpace(declaration[pos - 1])) continue;
    size_t cursor = SkipSpaces(declaration, pos + 8);
    if (cursor >= declaration.size() || declaration[cursor] != '=') continue;
    cursor = SkipSpaces(declaration, cursor + 1);
    if (cursor >= declaration.size() || (declaration[cursor] != '"' && declaration[cursor] != '\'')) continue;
    const size_t close = declaration.find(declaration[cursor], cursor + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return Span{cursor + 1, close - cursor - 1};
  }
  return std::nullopt;
}

// The value after "charset" and "=" (quoted or not) starting at pos.
std::optional<std::string_view> CharsetValueAt(std::string_view text, size_t pos) {
  size_t cursor = SkipSpaces(text, pos + 7);
  if (cursor >= text.size() || text[cursor] != '=') return std::nullopt;
  cursor = SkipSpaces(text, cursor + 1);
  if (cursor < text.size() && (text[cursor] == '"' || text[cursor] == '\'')) {
    const size_t close = text.find(text[cursor], cursor + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return text.substr(cursor + 1, close - cursor - 1);
  }
  size_t end = cursor;
  while (end < text.size() && !IsSpace(text[end]) && std::string_view(";\"'>/").find(text[end]) == std::string_view::npos) {
    ++end;
  }
  return text.substr(cursor, end - cursor);
}

// The charset parameter of a Content-Type header.
std::string_view HttpCharset(std::string_view contentType) {
  for (size_t pos = FindNoCase(contentType, "charset", 0); pos != std::string_view::npos;
       pos = FindNoCase(contentType, "charset", pos + 1)) {
    if (pos == 0) continue;
    const size_t before = contentType.find_last_not_of(" \t", pos - 1);
    if (before == std::string_view::npos || contentType[before] != ';') continue;
    if (auto value = CharsetValueAt(contentType, pos)) return *value;
  }
  return {};
}

// The charset of a meta tag: <meta charset="x"> or the http-equiv form
// <meta http-equiv="Content-Type" content="text/html; charset=x">.
std::string_view MetaTagCharset(std::string_view tag) {
  for (size_t pos = FindNoCase(tag, "charset", 0); pos != std::string_view::npos;
       pos = FindNoCase(tag, "charset", pos + 1)) {
    if (auto value = CharsetValueAt(tag, pos)) return *value;
  }
  return {};
}

// The first <meta> charset near the top of a page, skipping comments.
std::string_view HtmlMetaCharset(std::string_view page) {
  page = page.substr(0, kMetaScanLimit);
  for (size_t pos = page.find('<'); pos != std::string_view::npos; pos = page.find('<', pos + 1)) {
    if (page.compare(pos, 4, "<!--") == 0) {
      pos = page.find("-->", pos + 4);
      if (pos == std::string_view::npos) break;
      continue;
    }
    if (!StartsWithNoCase(page.substr(pos), "<meta") || pos + 5 >= page.size() ||
        !(IsSpace(page[pos + 5]) || page[pos + 5] == '/')) {
      continue;
    }
    const size_t end = page.find('>', pos);
    const std::string_view charset = MetaTagCharset(page.substr(pos, end - pos));
    if (!charset.empty()) return charset;
  }
  return {};
}

// --- From a declared name to an iconv name -------------------------------

// Labels read as a wider encoding than they name, as browsers read them:
// ISO-8859-1 and ASCII documents are, in practice, windows-1252.
std::string_view IconvNameForLabel(std::string_view label) {
  struct Alias {
    std::string_view label;
    std::string_view charset;
  };
  static constexpr Alias kAliases[] = {
      {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"unicode-1-1-utf-8", "UTF-8"},
      {"iso-8859-1", "CP1252"}, {"iso8859-1", "CP1252"}, {"iso88591", "CP1252"},
      {"iso_8859-1", "CP1252"}, {"iso_8859-1:1987", "CP1252"}, {"iso-ir-100", "CP1252"},
      {"latin1", "CP1252"}, {"l1", "CP1252"}, {"csisolatin1", "CP1252"},
      {"cp819", "CP1252"}, {"ibm819", "CP1252"}, {"us-ascii", "CP1252"},
      {"ascii", "CP1252"}, {"ansi_x3.4-1968", "CP1252"}, {"windows-1252", "CP1252"},
      {"x-cp1252", "CP1252"}, {"cp1252", "CP1252"},
      {"iso-8859-9", "CP1254"}, {"latin5", "CP1254"},
      {"tis-620", "CP874"}, {"iso-8859-11", "CP874"},
      {"gb2312", "GBK"}, {"x-gbk", "GBK"},
      {"euc-kr", "CP949"}, {"ks_c_5601-1987", "CP949"},
      {"shift_jis", "CP932"}, {"x-sjis", "CP932"}, {"sjis", "CP932"},
      {"big5", "BIG5-HKSCS"},
  };
  for (const Alias& alias : kAliases) {
    if (alias.label == label) return alias.charset;
  }
  return {};
}

bool IsWideCharset(std::string_view name) {
  for (std::string_view prefix : {"utf-16", "utf16", "utf-32", "utf32", "ucs-2", "ucs2", "ucs-4", "ucs4", "unicode"}) {
    if (StartsWithNoCase(name, prefix)) return true;
  }
  return false;
}

// Charset names are letters, digits and a little punctuation; anything else
// (iconv's "//" suffixes among it) never reaches iconv.
bool IsCharsetNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
}

bool IconvKnows(const std::string& name) {
  iconv_t converter = iconv_open("UTF-8", name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  iconv_close(converter);
  return true;
}

// The iconv name for a declared label, or empty when the label cannot be
// used: unknown to iconv, or a UTF-16/UTF-32 name on bytes that are plainly
// not (those were recognised before any declaration was read).
std::string UsableCharset(std::string_view label) {
  const std::string lower = LowerTrimmed(label);
  if (std::string_view alias = IconvNameForLabel(lower); !alias.empty()) return std::string(alias);
  if (lower.empty() || lower.size() > kMaxCharsetName || IsWideCharset(lower) ||
      !std::all_of(lower.begin(), lower.end(), IsCharsetNameChar)) {
    return {};
  }
  std::string name = lower;
  std::transform(name.begin(), name.end(), name.begin(), UpperAscii);
  return IconvKnows(name) ? name : std::string();
}

// True when every byte from 0x80 up is a character of its own (or none):
// no such byte begins a longer sequence.
bool IsSingleByteCharset(const std::string& name) {
  iconv_t converter = iconv_open("UTF-8", name.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  bool singleByte = true;
  for (int byte = 0x80; byte <= 0xFF && singleByte; ++byte) {
    char in = static_cast<char>(byte);
    char out[8];
    char* source = &in;
    char* target = out;
    size_t sourceLeft = 1, targetLeft = sizeof out;
    if (iconv(converter, &source, &sourceLeft, &target, &targetLeft) == static_cast<size_t>(-1) && errno == EINVAL)
      singleByte = false;
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(converter);
  return singleByte;
}

// What the detector says is taken where it tells well: the encodings of
// scripts other than Latin. Between the Latin single-byte encodings it
// guesses from a few letters, so a feed in one of those is read as
// windows-1252, the one such feeds are nearly always in.
bool IsNonLatinCharset(std::string_view name) {
  static constexpr std::string_view kNonLatin[] = {
      "BIG5", "EUC-JP", "EUC-KR", "EUC-TW", "GB18030", "HZ-GB-2312", "ISO-2022-CN", "ISO-2022-JP", "ISO-2022-KR",
      "SHIFT_JIS", "UHC", "KOI8-R", "KOI8-U", "WINDOWS-1251", "ISO-8859-5", "IBM855", "IBM866", "MAC-CYRILLIC",
      "ISO-8859-7", "WINDOWS-1253", "ISO-8859-6", "WINDOWS-1256", "ISO-8859-8", "WINDOWS-1255", "IBM862", "TIS-620",
      "ISO-8859-11"};
  return std::find(std::begin(kNonLatin), std::end(kNonLatin), name) != std::end(kNonLatin);
}

// The encoding of bytes that say nothing about it and are not UTF-8.
std::string GuessCharset(std::string_view bytes) {
  std::string guess;
  if (uchardet_t detector = uchardet_new()) {
    if (uchardet_handle_data(detector, bytes.data(), bytes.size()) == 0) {
      uchardet_data_end(detector);
      if (IsNonLatinCharset(uchardet_get_charset(detector))) guess = UsableCharset(uchardet_get_charset(detector));
    }
    uchardet_delete(detector);
  }
  return guess.empty() ? std::string(kWindows1252) : guess;
}

Detection Detect(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  if (auto mark = DetectByteOrderMark(bytes)) return *mark;
  if (const char* wide = DetectWideByZeroBytes(bytes)) return Detection{wide, 0};

  std::string_view declared[2];
  if (kind == DownloadKind::XmlDocument) {
    const auto span = XmlDeclarationEncoding(bytes);
    declared[0] = span ? bytes.substr(span->offset, span->length) : std::string_view();
    declared[1] = HttpCharset(contentType);
  } else {
    declared[0] = HttpCharset(contentType);
    declared[1] = HtmlMetaCharset(bytes);
  }
  const Utf8Facts utf8 = ScanUtf8(bytes);
  for (std::string_view label : declared) {
    std::string charset = UsableCharset(label);
    if (charset.empty()) continue;
    // Bytes that are UTF-8 through and through, beyond ASCII, are UTF-8
    // whatever single-byte encoding they claim: in any such encoding they
    // would read as the well-known garbage of double encoding.
    if (charset != kUtf8 && utf8.valid && utf8.multiByte && IsSingleByteCharset(charset)) break;
    return Detection{charset, 0};
  }
  if (utf8.valid) return Detection{std::string(kUtf8), 0};
  return Detection{GuessCharset(bytes), 0};
}

// --- Conversion -----------------------------------------------------------

size_t CodeUnitSize(std::string_view charset) {
  if (charset.starts_with("UTF-32")) return 4;
  if (charset.starts_with("UTF-16")) return 2;
  return 1;
}

// Converts with iconv. A sequence that does not decode becomes U+FFFD and
// reading goes on one code unit later; a truncated one at the end becomes
// U+FFFD too.
void AppendConverted(std::string_view in, const std::string& charset, std::string& out) {
  iconv_t converter = iconv_open("UTF-8", charset.c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    AppendSanitisedUtf8(in, out);
    return;
  }
  const size_t unit = CodeUnitSize(charset);
  size_t used = out.size();
  out.resize(used + in.size() + in.size() / 2 + 16);
  char* source = const_cast<char*>(in.data());  // iconv does not write through it
  size_t sourceLeft = in.size();
  while (sourceLeft != 0) {
    char* target = out.data() + used;
    size_t targetLeft = out.size() - used;
    const size_t result = iconv(converter, &source, &sourceLeft, &target, &targetLeft);
    const int error = errno;
    used = out.size() - targetLeft;
    if (result != static_cast<size_t>(-1)) break;
    if (out.size() - used < 16) out.resize(out.size() * 2);
    if (error == E2BIG) continue;
    out.replace(used, kReplacement.size(), kReplacement);
    used += kReplacement.size();
    const size_t skip = error == EILSEQ ? std::min(unit, sourceLeft) : sourceLeft;
    source += skip;
    sourceLeft -= skip;
  }
  out.resize(used);
  iconv_close(converter);
}

// Makes a leading XML declaration claim UTF-8.
void DeclareUtf8(std::string& text) {
  const auto span = XmlDeclarationEncoding(text);
  if (span && LowerTrimmed(std::string_view(text).substr(span->offset, span->length)) != "utf-8") {
    text.replace(span->offset, span->length, kUtf8);
  }
}

// --- Double-encoded UTF-8 ---------------------------------------------------

// The byte that windows-1252 has for each character from U+0080 up, read from
// iconv's own table; where windows-1252 has none (its five undefined bytes
// and the C1 controls), the byte of an ISO-8859-1 reading.
class Windows1252Bytes {
 public:
  Windows1252Bytes() {
    for (int byte = 0x80; byte <= 0xFF; ++byte) bytes_[char32_t(byte)] = static_cast<char>(byte);
    iconv_t converter = iconv_open("UTF-32LE", std::string(kWindows1252).c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      char in = static_cast<char>(byte);
      unsigned char out[4] = {};
      char* source = &in;
      char* target = reinterpret_cast<char*>(out);
      size_t sourceLeft = 1, targetLeft = sizeof out;
      if (iconv(converter, &source, &sourceLeft, &target, &targetLeft) != static_cast<size_t>(-1) && targetLeft == 0)
        bytes_[char32_t(out[0] | out[1] << 8 | out[2] << 16)] = static_cast<char>(byte);
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(converter);
  }

  // 0 for a character that has no such byte.
  char Of(char32_t c) const {
    const auto found = bytes_.find(c);
    return found == bytes_.end() ? '\0' : found->second;
  }

 private:
  std::map<char32_t, char> bytes_;
};

const Windows1252Bytes& Windows1252() {
  static const Windows1252Bytes table;
  return table;
}

}  // namespace

std::string DetectCharset(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  return Detect(bytes, contentType, kind).charset;
}

DecodedText DecodeToUtf8(std::string_view bytes, std::string_view contentType, DownloadKind kind) {
  Detection detection = Detect(bytes, contentType, kind);
  bytes.remove_prefix(detection.bomLength);
  DecodedText decoded;
  if (detection.charset == kUtf8) {
    AppendSanitisedUtf8(bytes, decoded.text);
  } else {
    AppendConverted(bytes, detection.charset, decoded.text);
  }
  DeclareUtf8(decoded.text);
  decoded.charset = std::move(detection.charset);
  return decoded;
}

std::string RepairDoubleEncodedUtf8(std::string_view text) {
  const auto isAscii = [](char c) { return static_cast<uint8_t>(c) < 0x80; };
  std::string repaired;
  repaired.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (isAscii(text[i])) {
      const size_t end = size_t(std::find_if_not(text.begin() + i, text.end(), isAscii) - text.begin());
      repaired.append(text.substr(i, end - i));
      i = end;
      continue;
    }
    // A run of characters that each have a windows-1252 byte: the bytes of
    // what was UTF-8 before it was misread.
    std::string run;
    size_t end = i;
    while (end < text.size()) {
      const char* cursor = text.data() + end;
      const int code = DecodeUtf8Char(cursor, text.data() + text.size());
      const char byte = code > 0 ? Windows1252().Of(char32_t(code)) : '\0';
      if (byte == '\0') break;
      run += byte;
      end = size_t(cursor - text.data());
    }
    if (run.empty()) {  // a character windows-1252 does not have: no suspect
      const size_t next = Utf8Forward(text, i, 1);
      repaired.append(text.substr(i, next - i));
      i = next;
      continue;
    }
    if (!ScanUtf8(run).valid) return std::string(text);
    repaired += run;
    i = end;
  }
  return repaired;
}

}  // namespace vrel
