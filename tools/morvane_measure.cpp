// morvane-measure: prints the reference record a filter measures on a page,
// ready to paste into a sub-template's FilterInfoList. A template author runs
// it on a clean sample of each document type.
//
//   morvane-measure FILTERS.xml INDEX [--dpi H[,V]] PAGE
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFactory.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "core/TextConv.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: morvane-measure FILTERS.xml INDEX [--dpi H[,V]] PAGE\n");
        return 2;
    }
    const std::string filters = argv[1];
    const int index = std::atoi(argv[2]);
    int h = 0, v = 0;
    std::string page;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dpi") == 0 && i + 1 < argc) {
            char* end = nullptr;
            h = v = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (end && *end == ',') v = static_cast<int>(std::strtol(end + 1, nullptr, 10));
        } else {
            page = argv[i];
        }
    }
    RegisterFilterRecords();  // the record kinds, as the library does at start-up
    CFilterArray array;
    if (!array.Load(Utf8ToUtf16(filters))) {
        std::fprintf(stderr, "morvane-measure: cannot read filter template %s\n", filters.c_str());
        return 2;
    }
    CFilterBase* filter = array.Find(index);
    if (!filter) {
        std::fprintf(stderr, "morvane-measure: no filter with index %d\n", index);
        return 2;
    }
    CRawImage image;
    if (page.empty() || !imagefile::LoadImageFile(image, Utf8ToUtf16(page))) {
        std::fprintf(stderr, "morvane-measure: cannot read page %s\n", page.c_str());
        return 1;
    }
    filter->horiDpi = h;
    filter->vertDpi = v;
    std::unique_ptr<CFilterInfoBase> feature = filter->CreateFeature(&image, 1);
    if (!feature) {
        std::fprintf(stderr, "morvane-measure: the filter measured nothing on %s\n", page.c_str());
        return 1;
    }
    feature->SetImageSize(image.width, image.height);
    CXmlDocument xml;
    if (!xml.ParseText(u"<FilterInfo/>") || !xml.FindElement(u"FilterInfo") ||
        !xml.WriteAttribute(u"RefFilter", filter->index) || !xml.WriteAttribute(u"Type", filter->type) ||
        !xml.EnterElement() || !feature->WriteXml(xml)) {
        std::fprintf(stderr, "morvane-measure: cannot write the record\n");
        return 1;
    }
    std::printf("%s\n", Utf16ToUtf8(xml.Text()).c_str());
    return 0;
}
