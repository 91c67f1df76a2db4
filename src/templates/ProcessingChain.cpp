#include "templates/ProcessingChain.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

ImageProcessingListPtr ReadProcessingChain(CXmlDocument& xml) { return ReadImageProcessingList(xml); }

ImageProcessingListPtr CopyProcessingChain(const CImageProcessingList* source) {
    return CloneImageProcessingList(source);
}

}  // namespace libMorvaneClassifier
