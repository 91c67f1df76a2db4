// Placeholder until the parser lands: every document is empty and every
// load fails.
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

struct CXmlDocument::Impl {
    std::u16string text;
    std::u16string encoding;
};

CXmlDocument::CXmlDocument() : impl_(new Impl) {}
CXmlDocument::~CXmlDocument() = default;
bool CXmlDocument::ParseText(const char16_t*) { return false; }
bool CXmlDocument::ParseText(const std::u16string&) { return false; }
bool CXmlDocument::Load(const std::u16string&) { return false; }
bool CXmlDocument::LoadFromBytes(const uint8_t*, size_t) { return false; }
bool CXmlDocument::Save(const std::u16string&) const { return false; }
void CXmlDocument::ResetPosition() {}
bool CXmlDocument::FindElement(const std::u16string&) { return false; }
bool CXmlDocument::EnterElement() { return false; }
bool CXmlDocument::LeaveElement() { return false; }
std::u16string CXmlDocument::ReadAttribute(const std::u16string&) const { return {}; }
int32_t CXmlDocument::ReadIntAttribute(const std::u16string&) const { return 0; }
std::u16string CXmlDocument::ReadText() const { return {}; }
std::u16string CXmlDocument::ElementName() const { return {}; }
bool CXmlDocument::AppendElement(const std::u16string&) { return false; }
bool CXmlDocument::WriteAttribute(const std::u16string&, const std::u16string&) { return false; }
bool CXmlDocument::WriteAttribute(const std::u16string&, int32_t) { return false; }
bool CXmlDocument::WriteText(const std::u16string&) { return false; }
const std::u16string& CXmlDocument::Text() const { return impl_->text; }
bool CXmlDocument::IsWellFormed() const { return false; }
const std::u16string& CXmlDocument::Encoding() const { return impl_->encoding; }
bool CXmlDocument::HadByteOrderMark() const { return false; }
int32_t CXmlDocument::ParseInt(const std::u16string&) { return 0; }

}  // namespace libMorvaneClassifier
