// An ordered chain of preprocessing steps and its XML form:
//
//   <ImageProcessingList Size="2">
//     <ImageProcessing Type="1"><ColorToGray ColorFilter="0"/></ImageProcessing>
//     <ImageProcessing Type="2"><GrayToBin Method="6" BlockNum="1"/></ImageProcessing>
//   </ImageProcessingList>
//
// Owners (main template, filters, engine records, location methods) hold
// their chain through a std::unique_ptr<CImageProcessingList> that may be
// null; a null list and an empty list both mean "no steps".
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "preprocess/ImageProcessingInfo.h"

namespace libMorvaneClassifier {

class CXmlDocument;

class CImageProcessingList {
public:
    // Declared sizes above this make the list malformed (the read fails).
    static constexpr int32_t kMaxSteps = 100000;

    CImageProcessingList() = default;
    CImageProcessingList(const CImageProcessingList& other) { Assign(other); }
    CImageProcessingList& operator=(const CImageProcessingList& other) {
        Assign(other);
        return *this;
    }
    ~CImageProcessingList() = default;

    // Reads the chain with the cursor at the level of the owner's children
    // (that is, after the owner's EnterElement): finds "ImageProcessingList"
    // among the following siblings.
    //  - no such element: true, empty list;
    //  - "Size" <= 0: true, empty list;
    //  - "Size" above kMaxSteps: false;
    //  - an "ImageProcessing" whose "Type" has no record: false.
    // A list with fewer "ImageProcessing" children than "Size" holds the
    // steps that are there, in document order (a list never has empty
    // entries, so GetItem(i) is non-null for every i below GetCount()).
    // On every return the cursor is back at the owner's level (on the list
    // element when it was found), so the owner can go on reading its parts.
    bool Read(CXmlDocument& xml);
    // Appends "ImageProcessingList" after the main element of the current
    // level. Nothing is written (success) when the list holds no step.
    bool Write(CXmlDocument& xml) const;
    // Deep copy; assigning a list to itself changes nothing.
    void Assign(const CImageProcessingList& other);
    void Clear();
    int32_t GetCount() const { return static_cast<int32_t>(items_.size()); }
    // The step at index; null for an index outside 0..count-1.
    CImageProcessingInfo* GetItem(int32_t index) const;
    // Appends a step (the list takes ownership); ignored when null.
    void Append(std::unique_ptr<CImageProcessingInfo> step);

private:
    std::vector<std::unique_ptr<CImageProcessingInfo>> items_;
};

// Owner-side helpers.
// Reads an owner's chain as the owner keeps it: a new list on success, null
// when the read fails (the owner then has no steps).
std::unique_ptr<CImageProcessingList> ReadImageProcessingList(CXmlDocument& xml);
// Deep copy of an owner's chain (null stays null).
std::unique_ptr<CImageProcessingList> CloneImageProcessingList(const CImageProcessingList* list);
// Number of entries of an owner's chain; 0 for no list.
int32_t ImageProcessingCount(const CImageProcessingList* list);
// Entry of an owner's chain; null for no list or an index out of range.
CImageProcessingInfo* ImageProcessingItem(const CImageProcessingList* list, int32_t index);

}  // namespace libMorvaneClassifier
