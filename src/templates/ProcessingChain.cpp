// Preprocessing chains are read, copied and deleted here only, so that the
// template and filter readers need nothing but the forward declaration.
#include "templates/ProcessingChain.h"

#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// The step list class is not part of this build yet: no chain is ever
// created, so there is nothing to delete or copy, and an
// `ImageProcessingList` element is left for the owner's later searches to
// pass over.
void ImageProcessingListDeleter::operator()(CImageProcessingList*) const {}

ImageProcessingListPtr ReadProcessingChain(CXmlDocument&) { return nullptr; }

ImageProcessingListPtr CopyProcessingChain(const CImageProcessingList*) { return nullptr; }

}  // namespace libMorvaneClassifier
