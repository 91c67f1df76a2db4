// Reads a preprocessing step list from arbitrary bytes (inside a root element
// "Owner"), writes it back and reads the written form again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "preprocess/ImageProcessingList.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDocument xml;
    if (!xml.LoadFromBytes(data, size)) return 0;
    if (!xml.FindElement(u"Owner") || !xml.EnterElement()) return 0;
    CImageProcessingList list;
    if (!list.Read(xml)) return 0;

    CXmlDocument out;
    if (!out.ParseText(u"<Owner/>") || !out.FindElement(u"Owner") || !out.EnterElement()) return 0;
    if (!list.Write(out)) return 0;
    CXmlDocument back;
    if (!back.ParseText(out.Text()) || !back.FindElement(u"Owner") || !back.EnterElement()) std::abort();
    CImageProcessingList again;
    if (!again.Read(back) || again.GetCount() != list.GetCount()) std::abort();
    for (int32_t i = 0; i < list.GetCount(); ++i)
        if (again.GetItem(i)->type != list.GetItem(i)->type) std::abort();
    return 0;
}
