// The recognition-engine record of a template ("RecogEngine"), the list of
// such records ("RecogEngineList") and the 56-byte recognition result. The
// character-ratio records an engine record carries are the layout layer's
// (layout/CharLocation.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/ObjBase.h"
#include "core/ObjList.h"
#include "layout/CharLocation.h"
#include "preprocess/ImageProcessingList.h"
#include "xml/RecordXml.h"

namespace libMorvaneClassifier {

class CXmlDocument;

// One recognition result. The layout is fixed: the text filter and the
// character location read it as raw bytes.
#pragma pack(push, 1)
struct RecogResult {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    uint16_t candidates[10];  // best first; 0 or 0xFFFF ends the list
    uint16_t scores[10];      // score i belongs to candidate i; smaller is better
};
#pragma pack(pop)
static_assert(sizeof(RecogResult) == 56, "the recognition result is 56 bytes");
static_assert(offsetof(RecogResult, candidates) == 16, "candidates start at byte 16");
static_assert(offsetof(RecogResult, scores) == 36, "scores start at byte 36");

// Number of leading candidates before the first 0 or 0xFFFF.
int32_t RecogCandidateCount(const RecogResult& result);

// Engine selection record ("RecogEngine").
class CKernelInfo : public CTableRecord<CKernelInfo> {
public:
    static constexpr char16_t kElement[] = u"RecogEngine";
    static constexpr char16_t kListElement[] = u"RecogEngineList";
    static constexpr bool kMissingItemKeepsDefaults = false;

    CKernelInfo() = default;
    CKernelInfo(const CKernelInfo& other) { Assign(other); }
    CKernelInfo& operator=(const CKernelInfo& other) {
        Assign(other);
        return *this;
    }
    ~CKernelInfo() override = default;

    // The seven attributes, the steps and the character ratios (in this
    // order); Assign is a deep copy of every field and both lists.
    static const RecordTable<CKernelInfo>& Fields();
    // Reads "RecogEngine" at the cursor. A missing element leaves the
    // defaults and still succeeds.
    bool Read(CXmlDocument& xml) {
        ReadElement(xml);
        return true;
    }
    // Like Read, but fails (record unchanged) when the element is missing.
    bool ReadElement(CXmlDocument& xml) { return CTableRecord::Read(xml); }

    int32_t mainType = 1;
    int32_t subType = 7;
    int32_t filterType = 1;
    int32_t fillingMethod = 0;
    int32_t initialised = 0;  // set once the engine was started for this record
    // Why the engine of this record could not start (its library or data
    // file), once a start failed; the same for every later call.
    std::string startFailure;
    std::u16string filterPlus;
    int32_t recogType = 2;
    int32_t recogImageType = 0;
    std::unique_ptr<CharRatioList> charRatios;
    std::unique_ptr<CImageProcessingList> preprocessing;
};

// "RecogEngineList": Size slots; a slot whose "RecogEngine" element is
// missing stays empty.
class CRecogEngineList {
public:
    bool Read(CXmlDocument& xml);
    bool Write(CXmlDocument& xml) const;
    void Assign(const CRecogEngineList& other);
    void Clear() { list.Clear(); }
    CKernelInfo* Get(int32_t i) const { return list.Get(i); }
    int32_t Count() const { return list.count; }

    CObjList<CKernelInfo> list;
};

}  // namespace libMorvaneClassifier
