// The one place where template objects read and copy their preprocessing
// chains. Every owner (main template, filters) holds its chain through
// ImageProcessingListPtr; null means no steps.
#pragma once
#include <memory>

#include "preprocess/ImageProcessingList.h"

namespace libMorvaneClassifier {

class CXmlDocument;

using ImageProcessingListPtr = std::unique_ptr<CImageProcessingList>;

// Reads the optional `ImageProcessingList` at the cursor through a new list.
// Null when the read fails; the cursor is back at the owner's level either way.
ImageProcessingListPtr ReadProcessingChain(CXmlDocument& xml);
// Deep copy (null for null).
ImageProcessingListPtr CopyProcessingChain(const CImageProcessingList* source);

}  // namespace libMorvaneClassifier
