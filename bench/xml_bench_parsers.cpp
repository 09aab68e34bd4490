#include "xml_bench_parsers.h"

#include <climits>

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include "xml/xml_doc.h"

namespace vrel::bench {
namespace {

// Parsers that build a document: checking is parse, walk, release.
class TreeParser : public BenchParser {
 public:
  ParseCheck Check(std::string_view text) override {
    ParseCheck check;
    check.ok = Parse(text);
    if (check.ok)
      check.elements = CountElements();
    else
      check.error = ErrorText();
    check.indexBytes = IndexBytes();
    Release();
    return check;
  }

 protected:
  virtual size_t CountElements() const = 0;
  virtual std::string ErrorText() const = 0;
  virtual size_t IndexBytes() const { return 0; }
};

class XmlDocParser final : public TreeParser {
 public:
  const char* Name() const override { return "XmlDoc"; }
  const char* Call() const override { return "XmlDoc::SetDocumentText(std::string_view) on a new XmlDoc"; }
  bool Parse(std::string_view text) override {
    doc_ = std::make_unique<XmlDoc>();
    return doc_->SetDocumentText(text);
  }
  void Release() override { doc_.reset(); }
  size_t OwnTextCopyBytes(std::string_view) const override { return doc_->GetDocumentText().capacity() + 1; }

 protected:
  // Follows the links rather than trusting the record count, so a parse that
  // stopped early or linked records wrongly shows up. A link loop ends the walk
  // once more elements were met than records were handed out.
  size_t CountElements() const override {
    const auto limit = static_cast<size_t>(doc_->GetHighWaterMark());
    size_t count = 0;
    for (int n = doc_->GetFirstChild(0); n && count <= limit; n = doc_->GetNextInDocumentOrder(n)) ++count;
    return count;
  }
  size_t IndexBytes() const override { return doc_->GetIndexBytes(); }
  std::string ErrorText() const override { return doc_->GetResultText(); }

 private:
  std::unique_ptr<XmlDoc> doc_;
};

class PugixmlParser final : public TreeParser {
 public:
  const char* Name() const override { return "pugixml"; }
  const char* Call() const override { return "xml_document::load_buffer(parse_default) on a new document"; }
  bool Parse(std::string_view text) override {
    doc_ = std::make_unique<pugi::xml_document>();
    result_ = doc_->load_buffer(text.data(), text.size(), pugi::parse_default);
    return result_;
  }
  void Release() override { doc_.reset(); }
  // load_buffer copies the input and parses the copy in place.
  size_t OwnTextCopyBytes(std::string_view text) const override { return text.size() + 1; }

 protected:
  size_t CountElements() const override { return Count(*doc_); }
  std::string ErrorText() const override {
    return std::string(result_.description()) + " at offset " + std::to_string(result_.offset);
  }

 private:
  static size_t Count(const pugi::xml_node& node) {
    size_t count = 0;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
      if (child.type() == pugi::node_element) count += 1 + Count(child);
    return count;
  }

  std::unique_ptr<pugi::xml_document> doc_;
  pugi::xml_parse_result result_;
};

class LibxmlParser final : public TreeParser {
 public:
  LibxmlParser() { xmlInitParser(); }
  ~LibxmlParser() override { Release(); }
  const char* Name() const override { return "libxml2"; }
  const char* Call() const override { return "xmlReadMemory(XML_PARSE_NONET, errors not printed), xmlFreeDoc"; }
  bool Parse(std::string_view text) override {
    if (text.size() > INT_MAX) return false;
    doc_ = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kOptions);
    return doc_ != nullptr;
  }
  void Release() override {
    if (doc_) xmlFreeDoc(doc_);
    doc_ = nullptr;
  }
  size_t OwnTextCopyBytes(std::string_view) const override { return 0; }

 protected:
  size_t CountElements() const override { return Count(doc_->children); }
  std::string ErrorText() const override {
    const xmlError* error = xmlGetLastError();
    return error && error->message ? error->message : "rejected";
  }

 private:
  static constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

  static size_t Count(const xmlNode* node) {
    size_t count = 0;
    for (; node; node = node->next)
      if (node->type == XML_ELEMENT_NODE) count += 1 + Count(node->children);
    return count;
  }

  xmlDocPtr doc_ = nullptr;
};

class TinyxmlParser final : public TreeParser {
 public:
  const char* Name() const override { return "tinyxml2"; }
  const char* Call() const override { return "XMLDocument::Parse on a new document"; }
  bool Parse(std::string_view text) override {
    doc_ = std::make_unique<tinyxml2::XMLDocument>();
    return doc_->Parse(text.data(), text.size()) == tinyxml2::XML_SUCCESS;
  }
  void Release() override { doc_.reset(); }
  // Parse copies the input and parses the copy in place.
  size_t OwnTextCopyBytes(std::string_view text) const override { return text.size() + 1; }

 protected:
  size_t CountElements() const override { return Count(doc_->FirstChildElement()); }
  std::string ErrorText() const override { return doc_->ErrorStr(); }

 private:
  static size_t Count(const tinyxml2::XMLElement* element) {
    size_t count = 0;
    for (; element; element = element->NextSiblingElement()) count += 1 + Count(element->FirstChildElement());
    return count;
  }

  std::unique_ptr<tinyxml2::XMLDocument> doc_;
};

// A streaming parser: no document, only the parser and its buffers are kept.
class ExpatParser final : public BenchParser {
 public:
  ~ExpatParser() override { Release(); }
  const char* Name() const override { return "expat"; }
  const char* Call() const override { return "XML_Parse(whole text, final) with empty element and text handlers"; }
  bool Parse(std::string_view text) override {
    parser_ = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser_, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
    XML_SetCharacterDataHandler(parser_, [](void*, const XML_Char*, int) {});
    return Feed(text);
  }
  void Release() override {
    if (parser_) XML_ParserFree(parser_);
    parser_ = nullptr;
  }
  // XML_Parse copies the text into the parser's own buffer, but how large
  // that buffer is stays inside expat; it is counted as parser state.
  size_t OwnTextCopyBytes(std::string_view) const override { return 0; }
  ParseCheck Check(std::string_view text) override {
    ParseCheck check;
    parser_ = XML_ParserCreate(nullptr);
    XML_SetUserData(parser_, &check.elements);
    XML_SetStartElementHandler(parser_,
                               [](void* count, const XML_Char*, const XML_Char**) { ++*static_cast<size_t*>(count); });
    check.ok = Feed(text);
    if (!check.ok)
      check.error = std::string(XML_ErrorString(XML_GetErrorCode(parser_))) + " at line " +
                    std::to_string(XML_GetCurrentLineNumber(parser_));
    Release();
    return check;
  }

 private:
  bool Feed(std::string_view text) {
    return text.size() <= INT_MAX &&
           XML_Parse(parser_, text.data(), static_cast<int>(text.size()), XML_TRUE) == XML_STATUS_OK;
  }

  XML_Parser parser_ = nullptr;
};

}  // namespace

std::vector<std::unique_ptr<BenchParser>> MakeParsers() {
  std::vector<std::unique_ptr<BenchParser>> parsers;
  parsers.push_back(std::make_unique<XmlDocParser>());
  parsers.push_back(std::make_unique<PugixmlParser>());
  parsers.push_back(std::make_unique<LibxmlParser>());
  parsers.push_back(std::make_unique<ExpatParser>());
  parsers.push_back(std::make_unique<TinyxmlParser>());
  return parsers;
}

std::string PeerVersions() {
  return "pugixml " + std::to_string(PUGIXML_VERSION / 1000) + '.' + std::to_string(PUGIXML_VERSION % 1000 / 10) +
         ", libxml2 " + LIBXML_DOTTED_VERSION + ", " + XML_ExpatVersion() + ", tinyxml2 " +
         std::to_string(TINYXML2_MAJOR_VERSION) + '.' + std::to_string(TINYXML2_MINOR_VERSION) + '.' +
         std::to_string(TINYXML2_PATCH_VERSION);
}

}  // namespace vrel::bench
