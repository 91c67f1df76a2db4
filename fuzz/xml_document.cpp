// Parses arbitrary bytes as an XML file and walks every element with the
// cursor operations the template readers use, without recursion. The walk
// checks that finding each element by its own name, in document order,
// lands on the same elements as stepping from sibling to sibling.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/XmlDocument.h"

using libMorvaneClassifier::CXmlDocument;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDocument doc;
    const bool wellFormed = doc.LoadFromBytes(data, size);
    if (wellFormed != doc.IsWellFormed()) std::abort();
    size_t sink = doc.Text().size();

    // Names of the elements met so far on each open level.
    std::vector<std::vector<std::u16string>> levels(1);
    doc.ResetPosition();
    while (true) {
        if (doc.FindNextElement()) {
            const std::u16string name = doc.ElementName();
            if (name.empty()) std::abort();
            levels.back().push_back(name);
            sink +=
                doc.ReadAttribute(u"Size").size() + doc.ReadAttribute(name).size() + doc.ReadText().size();
            sink += static_cast<size_t>(doc.ReadIntAttribute(u"Size") & 1);
            if (!doc.EnterElement()) std::abort();
            levels.emplace_back();
            continue;
        }
        // End of a level: find the same elements again by name.
        doc.ResetPosition();
        for (const auto& name : levels.back()) {
            if (!doc.FindElement(name) || doc.ElementName() != name) std::abort();
        }
        if (doc.FindNextElement()) std::abort();
        levels.pop_back();
        if (levels.empty()) break;
        if (!doc.LeaveElement()) std::abort();
    }
    if (doc.LeaveElement()) std::abort();  // back at the top level
    return sink == SIZE_MAX ? 1 : 0;
}
