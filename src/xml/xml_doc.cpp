// XmlDoc: the public face, each call handed on to the document's engine.
#include "xml/xml_doc.h"

#include "xml/xml_engine.h"

namespace vrel {

XmlDoc::XmlDoc() : engine_(std::make_unique<XmlEngine>()) { engine_->SetDocumentText({}); }

XmlDoc::~XmlDoc() = default;

XmlDoc::XmlDoc(const XmlDoc& other) : engine_(std::make_unique<XmlEngine>()) { engine_->CopyFrom(other.View()); }

XmlDoc& XmlDoc::operator=(const XmlDoc& other) {
  CopyFrom(other);
  return *this;
}

// The moved-from document has no engine; every operation then fails softly
// until it is given a text again.
XmlDoc::XmlDoc(XmlDoc&& other) noexcept = default;

XmlDoc& XmlDoc::operator=(XmlDoc&& other) noexcept = default;

const XmlEngine& XmlDoc::View() const {
  static const XmlEngine kWithoutIndex;
  return engine_ ? *engine_ : kWithoutIndex;
}

XmlEngine& XmlDoc::Own() {
  if (!engine_) engine_ = std::make_unique<XmlEngine>();
  return *engine_;
}

void XmlDoc::CopyFrom(const XmlDoc& other) {
  if (this != &other) Own().CopyFrom(other.View());
}

bool XmlDoc::SetDocumentText(const char* text) {
  return SetDocumentText(text ? std::string_view(text) : std::string_view());
}

bool XmlDoc::SetDocumentText(std::string_view text) { return Own().SetDocumentText(text); }
bool XmlDoc::LoadFile(const std::string& path) { return Own().LoadFile(path); }
bool XmlDoc::SaveFile(const std::string& path) { return Own().SaveFile(path); }
bool XmlDoc::ParseDocument() { return Own().ParseDocument(); }
bool XmlDoc::IsWellFormed() const { return View().IsWellFormed(); }
const std::string& XmlDoc::GetResultText() const { return View().GetResultText(); }
const std::string& XmlDoc::GetDocumentText() const { return View().GetDocumentText(); }
uint32_t XmlDoc::GetDocumentFlags() const { return View().GetDocumentFlags(); }
void XmlDoc::SetDocumentFlags(uint32_t flags) { Own().SetDocumentFlags(flags); }

void XmlDoc::SetPositions(int parent, int current, int child) { Own().SetPositions(parent, current, child); }
int XmlDoc::GetParentPosition() const { return View().GetParentPosition(); }
int XmlDoc::GetCurrentPosition() const { return View().GetCurrentPosition(); }
int XmlDoc::GetChildPosition() const { return View().GetChildPosition(); }
int XmlDoc::GetNodeType() const { return View().GetNodeType(); }
bool XmlDoc::FindElement(const char* nameOrPath) { return Own().FindElement(nameOrPath); }
bool XmlDoc::FindChildElement(const char* nameOrPath) { return Own().FindChildElement(nameOrPath); }
bool XmlDoc::EnterElement() { return Own().EnterElement(); }
bool XmlDoc::LeaveElement() { return Own().LeaveElement(); }
int XmlDoc::FindNode(int typeMask) { return Own().FindNode(typeMask); }

std::string XmlDoc::GetNodeName() const { return View().GetNodeName(); }
std::string XmlDoc::GetElementName(int n) const { return View().GetElementName(n); }
std::string XmlDoc::GetAttribute(int n, const char* name) const { return View().GetAttribute(n, name); }
std::string XmlDoc::GetAttributeName(int index) const { return View().GetAttributeName(index); }
std::vector<XmlDoc::Attribute> XmlDoc::GetAttributes(int n) const { return View().GetAttributes(n); }
std::string XmlDoc::GetContent(int n) const { return View().GetContent(n); }
std::string XmlDoc::GetContent() const { return View().GetContent(); }
std::string XmlDoc::GetSubDocument(int n) const { return View().GetSubDocument(n); }

bool XmlDoc::SetAttribute(int n, const char* name, std::string_view value) {
  return Own().SetAttribute(n, name, value);
}
bool XmlDoc::RemoveAttribute(int n, const char* name) { return Own().RemoveAttribute(n, name); }
bool XmlDoc::SetContent(int n, std::string_view text, unsigned flags) { return Own().SetContent(n, text, flags); }
bool XmlDoc::SetContent(std::string_view text, unsigned flags) { return Own().SetContent(text, flags); }
bool XmlDoc::AddElement(const char* name, std::string_view value, unsigned flags) {
  return Own().AddElement(name, value, flags);
}
bool XmlDoc::AddSubDocument(std::string_view fragment, unsigned flags) {
  return Own().AddSubDocument(fragment, flags);
}
bool XmlDoc::RemoveElement() { return Own().RemoveElement(); }
bool XmlDoc::RemoveChildElement() { return Own().RemoveChildElement(); }

int XmlDoc::GetParent(int n) const { return View().GetParent(n); }
int XmlDoc::GetFirstChild(int n) const { return View().GetFirstChild(n); }
int XmlDoc::GetNextSibling(int n) const { return View().GetNextSibling(n); }
int XmlDoc::GetNextInDocumentOrder(int n) const { return View().GetNextInDocumentOrder(n); }
int XmlDoc::GetNextAfterSubtree(int n) const { return View().GetNextAfterSubtree(n); }
XmlDoc::ElementFacts XmlDoc::GetElementFacts(int n) const { return View().GetElementFacts(n); }
int XmlDoc::GetHighWaterMark() const { return View().GetHighWaterMark(); }
size_t XmlDoc::GetIndexBytes() const { return View().GetIndexBytes(); }
std::string XmlDoc::CheckIndex() const { return View().CheckIndex(); }

}  // namespace vrel
