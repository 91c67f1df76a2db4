#include "preprocess/ImageProcessingList.h"

#include <new>

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

namespace {

constexpr const char16_t* kListElement = u"ImageProcessingList";
constexpr const char16_t* kStepElement = u"ImageProcessing";

using StepArray = std::vector<std::unique_ptr<CImageProcessingInfo>>;

// Reads the steps inside an entered list element into steps. False at the
// first step whose type has no record, or when memory runs out.
bool ReadSteps(CXmlDocument& xml, int32_t declared, StepArray& steps) {
    for (int32_t i = 0; i < declared; ++i) {
        // A failed search does not move the cursor, so no later search can
        // succeed either: the list simply holds fewer steps than declared.
        if (!xml.FindElement(kStepElement)) break;
        std::unique_ptr<CImageProcessingInfo> step = CreateImageProcessingInfo(xml.ReadIntAttribute(u"Type"));
        if (!step) return false;
        if (xml.EnterElement()) {
            // A missing inner element leaves the constructor values.
            step->ReadXml(xml);
            xml.LeaveElement();
        }
        steps.push_back(std::move(step));
    }
    return true;
}

}  // namespace

bool CImageProcessingList::Read(CXmlDocument& xml) {
    Clear();
    if (!xml.FindElement(kListElement)) return true;
    const int32_t declared = xml.ReadIntAttribute(u"Size");
    if (declared <= 0) return true;
    if (declared > kMaxSteps) return false;

    StepArray steps;
    try {
        steps.reserve(static_cast<size_t>(declared));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!xml.EnterElement()) return false;
    bool ok;
    try {
        ok = ReadSteps(xml, declared, steps);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    // Back to the owner's level in every case, so that the owner's later
    // parts are still found.
    xml.LeaveElement();
    if (!ok) return false;
    items_ = std::move(steps);
    return true;
}

bool CImageProcessingList::Write(CXmlDocument& xml) const {
    if (items_.empty()) return true;
    if (!xml.AppendElement(kListElement) || !xml.WriteAttribute(u"Size", GetCount()) || !xml.EnterElement())
        return false;
    bool ok = true;
    for (const auto& step : items_) {
        if (!xml.AppendElement(kStepElement) || !xml.WriteAttribute(u"Type", step->type) ||
            !xml.EnterElement()) {
            ok = false;
            break;
        }
        ok = step->WriteXml(xml);
        xml.LeaveElement();
        if (!ok) break;
    }
    xml.LeaveElement();
    return ok;
}

void CImageProcessingList::Assign(const CImageProcessingList& other) {
    if (&other == this) return;
    StepArray steps;
    try {
        steps.reserve(other.items_.size());
        for (const auto& src : other.items_) {
            std::unique_ptr<CImageProcessingInfo> copy = CreateImageProcessingInfo(src->type);
            // A record whose type has no record class cannot be copied.
            if (!copy) continue;
            copy->Assign(*src);
            steps.push_back(std::move(copy));
        }
    } catch (const std::bad_alloc&) {
        // Keep what could be copied; a copy never holds empty entries.
    }
    items_ = std::move(steps);
}

void CImageProcessingList::Clear() { items_.clear(); }

CImageProcessingInfo* CImageProcessingList::GetItem(int32_t index) const {
    if (index < 0 || index >= GetCount()) return nullptr;
    return items_[static_cast<size_t>(index)].get();
}

void CImageProcessingList::Append(std::unique_ptr<CImageProcessingInfo> step) {
    if (step) items_.push_back(std::move(step));
}

std::unique_ptr<CImageProcessingList> ReadImageProcessingList(CXmlDocument& xml) {
    std::unique_ptr<CImageProcessingList> list(new (std::nothrow) CImageProcessingList);
    if (!list || !list->Read(xml)) return nullptr;
    return list;
}

std::unique_ptr<CImageProcessingList> CloneImageProcessingList(const CImageProcessingList* list) {
    if (!list) return nullptr;
    std::unique_ptr<CImageProcessingList> copy(new (std::nothrow) CImageProcessingList);
    if (copy) copy->Assign(*list);
    return copy;
}

int32_t ImageProcessingCount(const CImageProcessingList* list) { return list ? list->GetCount() : 0; }

CImageProcessingInfo* ImageProcessingItem(const CImageProcessingList* list, int32_t index) {
    return list ? list->GetItem(index) : nullptr;
}

}  // namespace libMorvaneClassifier
