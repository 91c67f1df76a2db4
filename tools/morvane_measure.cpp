// morvane-measure: prints the reference record a filter measures on a page,
// ready to paste into a sub-template's FilterInfoList. A template author runs
// it on a clean sample of each document type.
//
//   morvane-measure [--dpi H[,V]] [--] FILTERS.xml INDEX PAGE
// (--dpi may also come between the operands, as it used to).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api/ClassificationContext.h"
#include "core/TextConv.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFactory.h"
#include "image/Dib.h"
#include "imagefile/ImageFile.h"
#include "tool_options.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

constexpr char kUsage[] =
    "Usage: morvane-measure [--dpi H[,V]] [--] FILTERS.xml INDEX PAGE\n"
    "Prints the reference record that filter INDEX of the filter template\n"
    "FILTERS.xml measures on PAGE, ready to paste into a sub-template's\n"
    "FilterInfoList.\n"
    "\n"
    "Options:\n"
    "  --dpi H[,V]    the page's resolution (dots per inch), else the file's\n"
    "  --help         show this text and exit\n"
    "  --version      print the version and exit\n"
    "  --             end of options: what follows are operands\n"
    "\n"
    "Exit status: 0 when the record was printed, 1 when the page could not be\n"
    "read or measured, 2 on usage errors or an unreadable filter template.\n";

bool ParseDpi(const char* text, int& h, int& v) {
    char* end = nullptr;
    const long hh = std::strtol(text, &end, 10);
    long vv = hh;
    if (end && *end == ',') vv = std::strtol(end + 1, &end, 10);
    if (!end || *end || end == text || hh <= 0 || vv <= 0 || hh > 100000 || vv > 100000) return false;
    h = static_cast<int>(hh);
    v = static_cast<int>(vv);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = morvane_tool::HandleHelpAndVersion(argc, argv, "morvane-measure", kUsage);
        status >= 0)
        return status;
    int h = 0, v = 0;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == 0) {
            operands.push_back(arg);
        } else if (morvane_tool::IsEndOfOptions(arg)) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--dpi") == 0 && i + 1 < argc) {
            if (!ParseDpi(argv[++i], h, v)) {
                std::fprintf(stderr, "morvane-measure: bad --dpi value '%s'\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "morvane-measure: unknown option '%s'\n%s", arg, kUsage);
            return 2;
        }
    }
    if (operands.size() != 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string filters = operands[0];
    char* end = nullptr;
    const long parsedIndex = std::strtol(operands[1].c_str(), &end, 10);
    if (!end || *end || operands[1].empty() || parsedIndex < 0 || parsedIndex > 1000000) {
        std::fprintf(stderr, "morvane-measure: bad filter index '%s'\n", operands[1].c_str());
        return 2;
    }
    const int index = static_cast<int>(parsedIndex);
    const std::string page = operands[2];
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
    // The run-time fields as the library fills them: the page's resolution
    // from the option, no group configuration.
    PrepareFilter(*filter, nullptr, ClassificationContext::For(h, v, 0, 0));
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
