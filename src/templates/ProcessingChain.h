// The one place where template objects read and copy their preprocessing
// chains (`CImageProcessingList`, an ordered list of image steps). Every owner
// (main template, filters) holds its chain through ImageProcessingListPtr.
#pragma once
#include <memory>

namespace libMorvaneClassifier {

class CImageProcessingList;
class CXmlDocument;

struct ImageProcessingListDeleter {
    void operator()(CImageProcessingList* list) const;
};
using ImageProcessingListPtr = std::unique_ptr<CImageProcessingList, ImageProcessingListDeleter>;

// Reads the optional `ImageProcessingList` at the cursor through a new list.
// Null when the read fails; the cursor is left at the owner's level either way.
ImageProcessingListPtr ReadProcessingChain(CXmlDocument& xml);
// Deep copy (null for null).
ImageProcessingListPtr CopyProcessingChain(const CImageProcessingList* source);

}  // namespace libMorvaneClassifier
