// Files in and out of XmlDoc, the code-point helpers and the escaping of text
// into and out of the mark-up.
#include "xml/xml_encoding.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "xml/xml_doc.h"

namespace vrel {
namespace {

constexpr char kUtf8BomNote[] = "UTF-8 BOM + ";
constexpr char kUtf16BomNote[] = "UTF-16LE BOM + ";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr int kInvalid = -1;
constexpr char kReplacement = '?';

bool IsSurrogate(long c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsScalarValue(long c) { return c >= 0 && c <= 0x10FFFF && !IsSurrogate(c); }

// ---- files ----

// Reads the whole file into bytes; on failure returns the error number.
int ReadWholeFile(const std::string& path, std::string& bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  // Room for the growth that edits take anyway (half again, as the document
  // grows its text), so the first edit after a load does not copy the whole
  // text; pages never written cost no memory.
  if (::fstat(fd, &info) == 0 && info.st_size > 0) {
    const size_t size = size_t(info.st_size);
    bytes.reserve(size + size / 2 + 128);
  }
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, size_t(got));
    } else if (got == 0) {
      break;
    } else if (errno != EINTR) {
      int error = errno;
      ::close(fd);
      return error;
    }
  }
  ::close(fd);
  return 0;
}

std::u16string Utf16FromLittleEndian(std::string_view bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i)
    units[i] = char16_t(uint8_t(bytes[2 * i]) | uint8_t(bytes[2 * i + 1]) << 8);
  return units;
}

std::string LittleEndianFromUtf16(std::u16string_view units) {
  std::string bytes(units.size() * 2, '\0');
  for (size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = char(units[i] & 0xFF);
    bytes[2 * i + 1] = char(units[i] >> 8);
  }
  return bytes;
}

// A temporary file beside its target; removed again unless committed.
struct TempFile {
  std::string path;
  int fd = -1;
  ~TempFile() {
    if (fd >= 0) ::close(fd);
    if (!path.empty()) ::unlink(path.c_str());
  }
};

// Temporary files are named target.tmpPID-N, so that the process that
// writes one can be told.
std::string TempPrefix(const std::string& target) { return target + ".tmp"; }

int CreateTempBeside(const std::string& target, TempFile& temp) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = TempPrefix(target) + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    // 0666 so that a new file gets the mode the umask gives any new file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      temp.path = std::move(path);
      temp.fd = fd;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(size_t(written));
  }
  return 0;
}

// A symbolic link stays a link: the file it points to is replaced.
std::string ResolveLink(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string target = resolved;
  std::free(resolved);
  return target;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The process id in a temporary file's name after its prefix ("PID-N"); 0
// when the name is not of that form.
pid_t WriterOf(std::string_view suffix) {
  const size_t dash = suffix.find('-');
  const auto digits = [](std::string_view text) {
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (dash == std::string_view::npos || !digits(suffix.substr(0, dash)) || !digits(suffix.substr(dash + 1))) return 0;
  return pid_t(std::stol(std::string(suffix.substr(0, dash))));
}

void SyncFolderOf(const std::string& path) {
  std::string folder = FolderOf(path);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;  // the file itself is already safe on disk
  ::fsync(fd);
  ::close(fd);
}

// Writes the byte order mark and the body to a temporary file beside path and
// renames it over path, so that path holds either the old or the whole new
// content. The two parts are written apart so that a large document is never
// copied just to put a mark in front of it. Returns 0 or the error number.
int ReplaceFileContent(const std::string& requestedPath, std::string_view mark, std::string_view body) {
  const std::string path = ResolveLink(requestedPath);
  struct stat old {};
  const bool exists = ::stat(path.c_str(), &old) == 0;
  TempFile temp;
  if (int error = CreateTempBeside(path, temp)) return error;
  if (exists && ::fchmod(temp.fd, old.st_mode & 07777) != 0) return errno;
  if (int error = WriteAll(temp.fd, mark)) return error;
  if (int error = WriteAll(temp.fd, body)) return error;
  if (::fsync(temp.fd) != 0) return errno;
  int fd = temp.fd;
  temp.fd = -1;
  if (::close(fd) != 0) return errno;
  if (::rename(temp.path.c_str(), path.c_str()) != 0) return errno;
  temp.path.clear();
  SyncFolderOf(path);
  return 0;
}

// ---- escaping ----

const char* ReferenceFor(char c) {
  switch (c) {
    case '<':
      return "&lt;";
    case '&':
      return "&amp;";
    case '>':
      return "&gt;";
    case '\'':
      return "&apos;";
    default:
      return "&quot;";
  }
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the well-formed reference ("&name;", "&#123;", ...) that text
// starts with, or 0.
size_t WellFormedReferenceLength(std::string_view text) {
  if (text.size() < 3) return 0;
  const char first = text[1];
  if (!IsAsciiLetter(first) && first != '#' && first != ':' && first != '_') return 0;
  for (size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ';') return i + 1;
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '-' && c != '.' && c != ':' && c != '_') return 0;
  }
  return 0;
}

int DigitValue(char c, int base) {
  if (IsAsciiDigit(c)) return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& out, int codePoint) {
  char bytes[4];
  size_t length = 0;
  EncodeUtf8Char(codePoint, bytes, length);
  out.append(bytes, length);
}

// Decodes "&#65;" or "&#x41;" at the start of text into out; returns the
// length consumed, or 0 when the reference is not one to decode (no digits,
// more than 7, no ";", 0, a surrogate or beyond U+10FFFF).
size_t DecodeNumericReference(std::string_view text, std::string& out) {
  constexpr size_t kMaxDigits = 7;
  const bool hex = text.size() > 2 && text[2] == 'x';
  const int base = hex ? 16 : 10;
  const size_t first = hex ? 3 : 2;
  long value = 0;
  size_t i = first;
  for (int digit; i < text.size() && i - first < kMaxDigits && (digit = DigitValue(text[i], base)) >= 0; ++i)
    value = value * base + digit;
  if (i == first || i == text.size() || text[i] != ';') return 0;
  if (value == 0 || !IsScalarValue(value)) return 0;
  AppendUtf8(out, int(value));
  return i + 1;
}

// Decodes the reference at the start of text ("&..."); returns the length
// consumed, or 0 when it is copied as it stands.
size_t DecodeReference(std::string_view text, std::string& out) {
  if (text.starts_with("&#")) return DecodeNumericReference(text, out);
  struct Predefined {
    std::string_view name;
    char character;
  };
  static constexpr Predefined kPredefined[] = {
      {"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'}};
  const std::string_view name = text.substr(1);
  for (const Predefined& entry : kPredefined) {
    if (name.starts_with(entry.name)) {
      out += entry.character;
      return entry.name.size() + 1;
    }
  }
  return 0;
}

// ---- conversions ----

int DecodeChar(const char*& cursor, const char* end) { return DecodeUtf8Char(cursor, end); }
int DecodeChar(const char16_t*& cursor, const char16_t* end) { return DecodeUtf16Char(cursor, end); }

// Counts the output, then writes it; bad sequences arrive as -1 and the
// encoder turns them into "?".
template <class Out, class In>
Out Convert(std::basic_string_view<In> source, void (*encode)(int, typename Out::value_type*, size_t&)) {
  const In* const end = source.data() + source.size();
  size_t length = 0;
  for (const In* cursor = source.data(); cursor < end;) encode(DecodeChar(cursor, end), nullptr, length);
  Out out(length, 0);
  size_t position = 0;
  for (const In* cursor = source.data(); cursor < end;) encode(DecodeChar(cursor, end), out.data(), position);
  return out;
}

}  // namespace

bool ReadDocumentFile(const std::string& path, std::string& text, std::string& result, uint32_t& flags) {
  std::string bytes;
  if (int error = ReadWholeFile(path, bytes)) {
    result = std::strerror(error);
    return false;
  }
  if (std::string_view(bytes).starts_with(kUtf16LeBom)) {
    const std::string_view payload = std::string_view(bytes).substr(kUtf16LeBom.size());
    const std::u16string units = Utf16FromLittleEndian(payload);
    text = Utf16ToUtf8(units);
    if (payload.size() % 2 != 0) text += kReplacement;  // half a unit cannot be decoded
    flags = (flags | XmlDoc::Utf16File) & ~uint32_t(XmlDoc::Utf8Bom);
    result = kUtf16BomNote + std::to_string(units.size()) + " wide chars to " + std::to_string(text.size()) +
             " bytes";
    return true;
  }
  const char* note = "";
  flags &= ~uint32_t(XmlDoc::Utf16File | XmlDoc::Utf8Bom);
  if (std::string_view(bytes).starts_with(kUtf8Bom)) {
    bytes.erase(0, kUtf8Bom.size());
    flags |= XmlDoc::Utf8Bom;
    note = kUtf8BomNote;
  }
  text.swap(bytes);
  result = note + std::to_string(text.size()) + " bytes";
  return true;
}

bool WriteDocumentFile(const std::string& path, const std::string& text, std::string& result,
                       uint32_t& flags) {
  std::string utf16Bytes;
  std::string_view mark, body = text;
  std::string note;
  if (flags & XmlDoc::Utf16File) {
    const std::u16string units = Utf8ToUtf16(text);
    utf16Bytes = LittleEndianFromUtf16(units);
    mark = kUtf16LeBom;
    body = utf16Bytes;
    note = std::to_string(text.size()) + " bytes to " + kUtf16BomNote + std::to_string(units.size()) +
           " wide chars";
  } else {
    const bool bom = (flags & XmlDoc::Utf8Bom) != 0;
    if (bom) mark = kUtf8Bom;
    note = (bom ? kUtf8BomNote : "") + std::to_string(text.size()) + " bytes";
  }
  if (int error = ReplaceFileContent(path, mark, body)) {
    result = std::strerror(error);
    return false;
  }
  result = std::move(note);
  return true;
}

void RemoveStaleTempFiles(const std::string& path) {
  const std::string target = ResolveLink(path);
  const std::string folder = FolderOf(target);
  const std::string prefix = TempPrefix(target.substr(target.rfind('/') + 1));
  DIR* listing = ::opendir(folder.c_str());
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with(prefix)) continue;
    const pid_t writer = WriterOf(name.substr(prefix.size()));
    // Only a writer that is gone: a live one is still saving.
    if (writer > 0 && ::kill(writer, 0) != 0 && errno == ESRCH) ::unlink((folder + "/" + std::string(name)).c_str());
  }
  ::closedir(listing);
}

std::string ToMarkupText(std::string_view text, unsigned flags) {
  const std::string_view special = (flags & XmlDoc::EscapeQuotes) ? "<&>'\"" : "<&>";
  const bool keepReferences = (flags & XmlDoc::KeepReferences) != 0;
  std::string out;
  out.reserve(text.size() + text.size() / 10 + 7);
  size_t i = 0;
  while (i < text.size()) {
    size_t found = text.find_first_of(special, i);
    if (found == std::string_view::npos) found = text.size();
    out.append(text.substr(i, found - i));
    if (found == text.size()) break;
    const size_t kept =
        keepReferences && text[found] == '&' ? WellFormedReferenceLength(text.substr(found)) : 0;
    if (kept) {
      out.append(text.substr(found, kept));
      i = found + kept;
    } else {
      out += ReferenceFor(text[found]);
      i = found + 1;
    }
  }
  return out;
}

std::string FromMarkupText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) amp = text.size();
    out.append(text.substr(i, amp - i));
    if (amp == text.size()) break;
    const size_t used = DecodeReference(text.substr(amp), out);
    if (!used) out += '&';
    i = amp + (used ? used : 1);
  }
  return out;
}

std::string WrapCData(std::string_view text) {
  std::string out = "<![CDATA[";
  out.reserve(text.size() + 12);
  for (size_t i = 0;;) {
    const size_t close = text.find("]]>", i);
    if (close == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    // End the section between "]]" and ">" and open a new one.
    out.append(text.substr(i, close - i));
    out += "]]]]><![CDATA[>";
    i = close + 3;
  }
  out += "]]>";
  return out;
}

int DecodeUtf8Char(const char*& cursor, const char* end) {
  if (cursor >= end) return kInvalid;
  const unsigned lead = uint8_t(*cursor++);
  if (lead < 0x80) return int(lead);
  // A continuation byte cannot start a character; F8 and up start none.
  if (lead < 0xC0 || lead >= 0xF8) return kInvalid;
  static constexpr int kSmallest[] = {0, 0x80, 0x800, 0x10000};  // below it the form is overlong
  const int following = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
  int value = int(lead & (0x3Fu >> following));
  for (int i = 0; i < following; ++i) {
    // A byte that does not continue the character is left to start the next.
    if (cursor == end || (uint8_t(*cursor) & 0xC0) != 0x80) return kInvalid;
    value = value << 6 | (uint8_t(*cursor++) & 0x3F);
  }
  return value >= kSmallest[following] && IsScalarValue(value) ? value : kInvalid;
}

void EncodeUtf8Char(int codePoint, char* destination, size_t& position) {
  if (!IsScalarValue(codePoint)) codePoint = kReplacement;
  const size_t length = codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
  if (destination) {
    static constexpr unsigned char kLeadBits[] = {0, 0, 0xC0, 0xE0, 0xF0};
    char* out = destination + position;
    for (size_t i = length - 1; i > 0; --i, codePoint >>= 6) out[i] = char(0x80 | (codePoint & 0x3F));
    out[0] = char(kLeadBits[length] | codePoint);
  }
  position += length;
}

size_t Utf8Forward(std::string_view text, size_t offset, size_t count) {
  offset = std::min(offset, text.size());
  for (; offset < text.size() && count > 0; --count) {
    ++offset;
    while (offset < text.size() && IsUtf8Continuation(text[offset])) ++offset;
  }
  return offset;
}

size_t Utf8Back(std::string_view text, size_t offset, size_t count) {
  offset = std::min(offset, text.size());
  for (; offset > 0 && count > 0; --count) {
    --offset;
    while (offset > 0 && IsUtf8Continuation(text[offset])) --offset;
  }
  return offset;
}

size_t Utf8Length(std::string_view text) {
  return size_t(std::count_if(text.begin(), text.end(), [](char c) { return !IsUtf8Continuation(c); }));
}

void AppendUtf8(std::string& out, int codePoint) {
  char bytes[4];
  size_t length = 0;
  EncodeUtf8Char(codePoint, bytes, length);
  out.append(bytes, length);
}

int DecodeUtf16Char(const char16_t*& cursor, const char16_t* end) {
  if (cursor >= end) return kInvalid;
  const int first = *cursor++;
  if (!IsSurrogate(first)) return first;
  // Only a high surrogate followed by a low one makes a pair; anything else
  // is one bad unit, and the unit after it is read on its own.
  if (first >= 0xDC00 || cursor == end || *cursor < 0xDC00 || *cursor > 0xDFFF) return kInvalid;
  const int second = *cursor++;
  return 0x10000 + ((first & 0x3FF) << 10 | (second & 0x3FF));
}

void EncodeUtf16Char(int codePoint, char16_t* destination, size_t& count) {
  if (!IsScalarValue(codePoint)) codePoint = kReplacement;
  if (codePoint < 0x10000) {
    if (destination) destination[count] = char16_t(codePoint);
    count += 1;
    return;
  }
  if (destination) {
    destination[count] = char16_t(0xD800 | ((codePoint - 0x10000) >> 10));
    destination[count + 1] = char16_t(0xDC00 | (codePoint & 0x3FF));
  }
  count += 2;
}

std::string Utf16ToUtf8(std::u16string_view source) { return Convert<std::string>(source, EncodeUtf8Char); }

std::u16string Utf8ToUtf16(std::string_view source) {
  return Convert<std::u16string>(source, EncodeUtf16Char);
}

}  // namespace vrel
