// Every record described by a field table: its parameter descriptors, its
// reader and its writer agree. A record with a distinct value in every field
// (and children where it has any) is written, read back and written again;
// both texts must be the same, every descriptor must name an attribute of
// the element that carries it and point at the value the reader restored,
// and a copy must write the same text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engines/KernelInfo.h"
#include "filters/FilterFrameLine.h"
#include "filters/FilterGrid.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"
#include "filters/FrameLineRecords.h"
#include "layout/CharLocation.h"
#include "layout/LineLocation.h"
#include "preprocess/ColorSteps.h"
#include "preprocess/ImageProcessingInfo.h"
#include "preprocess/ImageProcessingList.h"
#include "templates/Anchor.h"
#include "templates/FilterConfig.h"
#include "templates/MainTemplate.h"
#include "templates/TemplateTestUtil.h"
#include "templates/TextLine.h"

namespace libMorvaneClassifier {
namespace {

using test::N;

// A distinct value in every integer and text field of the table.
template <class T>
void FillFields(T& r, int32_t base) {
    int32_t i = 0;
    for (const RecordField<T>& f : T::Fields().fields) {
        ++i;
        if (f.intMember) r.*f.intMember = base + 37 * i;
        if (f.textMember)
            r.*f.textMember = u"v" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u"&<\"";
    }
}

// Children of the records that have any, each with its own values.
template <class T>
void AddChildren(T&) {}

void AddChildren(CRegion& r) {
    r.anchorList = std::make_unique<CAnchorList>();
    r.anchorList->count = 2;
    r.anchorList->items.resize(2);
    r.anchorList->items[1] = std::make_unique<CAnchor>();
    FillFields(*r.anchorList->items[1], 500);
    r.refAnchorList = std::make_unique<CRefAnchorList>();
    r.refAnchorList->count = 1;
    r.refAnchorList->items.push_back(std::make_unique<CRefAnchorInfo>());
    FillFields(*r.refAnchorList->items[0], 700);
}

void AddChildren(CTextLine& t) {
    t.region = std::make_unique<CRegion>();
    FillFields(*t.region, 300);
    AddChildren(*t.region);
}

void AddChildren(CLine& l) {
    l.anchor = std::make_unique<CAnchor>();
    FillFields(*l.anchor, 900);
}

void AddChildren(CFrameLineInfo& f) {
    f.line = std::make_unique<CLine>();
    FillFields(*f.line, 1100);
    AddChildren(*f.line);
}

// A chain of two steps with their own values.
std::unique_ptr<CImageProcessingList> Steps(int32_t base) {
    auto list = std::make_unique<CImageProcessingList>();
    auto gray = std::make_unique<CGrayToBinInfo>();
    FillFields(*gray, base);
    list->Append(std::move(gray));
    auto tilt = std::make_unique<CTiltCorrectionInfo>();
    FillFields(*tilt, base + 50);
    list->Append(std::move(tilt));
    return list;
}

void AddChildren(CLineLocationMethod& m) { m.steps = Steps(1300); }
void AddChildren(CCharLocationMethod& m) { m.steps = Steps(1400); }

template <class Info, class Property, class Method>
void AddLocationChildren(Info& info, int32_t base) {
    info.property = std::make_unique<Property>();
    FillFields(*info.property, base);
    info.methods = std::make_unique<CLocationList<Method>>();
    info.methods->Append(std::make_unique<Method>());
    auto second = std::make_unique<Method>();
    FillFields(*second, base + 40);
    AddChildren(*second);
    info.methods->Append(std::move(second));
}

void AddChildren(CLineLocationInfo& l) {
    AddLocationChildren<CLineLocationInfo, CLineProperty, CLineLocationMethod>(l, 1500);
}
void AddChildren(CCharLocationInfo& c) {
    AddLocationChildren<CCharLocationInfo, CCharProperty, CCharLocationMethod>(c, 1600);
}

void AddChildren(CKernelInfo& k) {
    k.preprocessing = Steps(1700);
    k.charRatios = std::make_unique<CharRatioList>();
    for (int32_t i = 0; i < 2; ++i) {
        auto ratio = std::make_unique<CCharRatio>();
        FillFields(*ratio, 1800 + 100 * i);
        k.charRatios->Append(std::move(ratio));
    }
}

void AddChildren(CFilterGridInfo&) {}
void AddChildren(CFilterSizeInfo&) {}

void AddChildren(CFilterFrameLineInfo& f) {
    f.region = std::make_unique<CRegion>();
    FillFields(*f.region, 1900);
    f.rules = std::make_unique<CFrameLineRuleList>();
    f.rules->count = 1;
    f.rules->items.push_back(std::make_unique<CFrameLineRule>());
    FillFields(*f.rules->items[0], 2000);
    f.colorMatch = std::make_unique<ColorMatch>();
    FillFields(*f.colorMatch, 2100);
    f.frameLines = std::make_unique<CFrameLineList>();
    f.frameLines->count = 1;
    f.frameLines->items.push_back(std::make_unique<CFrameLineInfo>());
    FillFields(*f.frameLines->items[0], 2200);
    AddChildren(*f.frameLines->items[0]);
}

void AddChildren(CFilterTextInfo& t) {
    t.lineLocation = std::make_unique<CLineLocationInfo>();
    FillFields(*t.lineLocation, 2300);
    AddChildren(*t.lineLocation);
    t.charLocation = std::make_unique<CCharLocationInfo>();
    AddChildren(*t.charLocation);
    t.engines = std::make_unique<CRecogEngineList>();
    t.engines->list.count = 2;
    t.engines->list.items.resize(2);
    t.engines->list.items[0] = std::make_unique<CKernelInfo>();
    FillFields(*t.engines->list.items[0], 2400);
    AddChildren(*t.engines->list.items[0]);
    t.textLines = std::make_unique<CTextLineList>();
    t.textLines->count = 1;
    t.textLines->items.push_back(std::make_unique<CTextLine>());
    FillFields(*t.textLines->items[0], 2500);
    AddChildren(*t.textLines->items[0]);
}

// The text of a document whose root holds what write appends.
template <class W>
std::u16string WrittenText(W&& write) {
    CXmlDocument doc;
    EXPECT_TRUE(test::Parse(doc, "<Root/>"));
    doc.ResetPosition();
    EXPECT_TRUE(doc.FindElement(u"Root") && doc.EnterElement());
    EXPECT_TRUE(write(doc));
    return doc.Text();
}

// The start tag of the first element `name` in text (up to its '>'); empty
// when there is none.
std::u16string StartTag(const std::u16string& text, const std::u16string& name) {
    for (size_t at = text.find(u"<" + name); at != std::u16string::npos;
         at = text.find(u"<" + name, at + 1)) {
        const char16_t next = at + 1 + name.size() < text.size() ? text[at + 1 + name.size()] : u'>';
        if (next == u' ' || next == u'/' || next == u'>') return text.substr(at, text.find(u'>', at) - at);
    }
    return {};
}

// The table's descriptors name attributes of the element that carries each
// field (the record's own, or the child element it sits on) and point into
// the record...
template <class T>
void ExpectDescriptorsMatch(T& record, const std::u16string& text) {
    const RecordTable<T>& table = T::Fields();
    ParameterList list;
    ListFields(record, table, list);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list[0].name, table.caption ? table.caption : table.element);
    std::set<std::u16string> elements;  // the elements the descriptors speak of
    size_t described = 0;
    const auto* begin = reinterpret_cast<const char*>(&record);
    for (size_t i = 1; i < list.size(); ++i) {
        const RecordField<T>* field = nullptr;
        for (const RecordField<T>& f : table.fields)
            if (f.listed && f.name == list[i].name) field = &f;
        ASSERT_NE(field, nullptr) << N(list[i].name);
        const auto* at = static_cast<const char*>(list[i].value);
        EXPECT_TRUE(at >= begin && at < begin + sizeof(T)) << N(list[i].name);
        if (field->asText) {
            EXPECT_NE(text.find(u"<" + list[i].name + u">"), std::u16string::npos) << N(list[i].name);
            continue;
        }
        const std::u16string name = field->on ? field->on : table.element;
        const std::u16string element = StartTag(text, name);
        ASSERT_FALSE(element.empty()) << N(name) << " in " << N(text);
        EXPECT_NE(element.find(u" " + list[i].name + u"=\""), std::u16string::npos)
            << N(list[i].name) << " in " << N(element);
        elements.insert(name);
        ++described;
    }
    // ... and every attribute of those elements is described (an attribute
    // the editor does not list is the drift this guards against).
    size_t attributes = 0;
    for (const std::u16string& name : elements) {
        const std::u16string element = StartTag(text, name);
        for (size_t at = element.find(u"=\""); at != std::u16string::npos; at = element.find(u"=\"", at + 1))
            ++attributes;
    }
    EXPECT_EQ(attributes, described) << N(text);
}

// The values each descriptor points at, as text.
std::vector<std::u16string> DescribedValues(CObjBase& record) {
    ParameterList list;
    record.ListParameters(list);
    std::vector<std::u16string> out;
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i].kind == kParamText || list[i].kind == kParamPath)
            out.push_back(*static_cast<const std::u16string*>(list[i].value));
        else
            out.push_back(test::U(std::to_string(*static_cast<const int32_t*>(list[i].value))));
    }
    return out;
}

// A record with a distinct value in every field and its children is
// written; the text read back and the record's copy must write the same
// text, and describe the same values.
template <class T, class Write, class Read>
void ExpectTableAgreement(Write write, Read read, int32_t base) {
    T a;
    FillFields(a, base);
    AddChildren(a);
    const std::u16string first = WrittenText([&](CXmlDocument& d) { return write(a, d); });
    ExpectDescriptorsMatch(a, first);

    CXmlDocument reread;
    ASSERT_TRUE(reread.ParseText(first));
    reread.ResetPosition();
    ASSERT_TRUE(reread.FindElement(u"Root") && reread.EnterElement());
    T b;
    ASSERT_TRUE(read(b, reread));
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return write(b, d); })), N(first));
    EXPECT_EQ(DescribedValues(b), DescribedValues(a));

    T c;
    c.Assign(a);
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return write(c, d); })), N(first));
    EXPECT_EQ(DescribedValues(c), DescribedValues(a));
}

template <class T>
class RecordTableAgreement : public ::testing::Test {};

using TableRecords =
    ::testing::Types<CAnchor, CRefAnchorInfo, CRegion, CTextLine, CLine, CFrameLineInfo, CFrameLineRule,
                     CFilterConfig, CLineProperty, CCharProperty, CLineLocationMethod, CCharLocationMethod,
                     CLineLocationInfo, CCharLocationInfo, CCharRatio, CKernelInfo, ColorMatch>;
TYPED_TEST_SUITE(RecordTableAgreement, TableRecords);

TYPED_TEST(RecordTableAgreement, WriteReadWriteDescriptorsAndCopy) {
    ExpectTableAgreement<TypeParam>([](const TypeParam& r, CXmlDocument& d) { return r.Write(d); },
                                    [](TypeParam& r, CXmlDocument& d) { return r.Read(d); }, 100);
}

template <class T>
class StepTableAgreement : public ::testing::Test {};

using TableSteps =
    ::testing::Types<CColorToGrayInfo, CGrayToBinInfo, CBlackEdgesErasingInfo, CTiltCorrectionInfo>;
TYPED_TEST_SUITE(StepTableAgreement, TableSteps);

TYPED_TEST(StepTableAgreement, WriteReadWriteDescriptorsAndCopy) {
    ExpectTableAgreement<TypeParam>([](const TypeParam& r, CXmlDocument& d) { return r.WriteXml(d); },
                                    [](TypeParam& r, CXmlDocument& d) { return r.ReadXml(d); }, 40);
}

TEST(StepTableAgreement, CroppingPlaceholderHasNoElement) {
    CImageCroppingInfo crop;
    const std::u16string text = WrittenText([&](CXmlDocument& d) { return crop.WriteXml(d); });
    EXPECT_EQ(N(text), "<Root/>");
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(u"<Root><Other A=\"1\"/></Root>"));
    ASSERT_TRUE(xml.FindElement(u"Root") && xml.EnterElement());
    EXPECT_TRUE(crop.ReadXml(xml));
    EXPECT_TRUE(xml.FindElement(u"Other"));  // the cursor did not move
}

// The filters' records: the kind's own elements inside a `FilterInfo`.
template <class T>
class FilterKindTableAgreement : public ::testing::Test {};

using FilterKinds = ::testing::Types<CFilterSizeInfo, CFilterGridInfo, CFilterFrameLineInfo, CFilterTextInfo>;
TYPED_TEST_SUITE(FilterKindTableAgreement, FilterKinds);

TYPED_TEST(FilterKindTableAgreement, WriteReadWriteDescriptorsAndCopy) {
    ExpectTableAgreement<TypeParam>([](const TypeParam& r, CXmlDocument& d) { return r.WriteXml(d); },
                                    [](TypeParam& r, CXmlDocument& d) { return r.ReadXml(d); }, 100);
}

// Child elements carrying attributes are written only when their rule holds
// and, when absent, leave the fields as they were.
TEST(FilterKindTableAgreement, ConditionalElementsAreLeftOutAndKeepValues) {
    struct Case {
        const char* what;
        std::unique_ptr<CFilterInfoBase> (*make)();
        const char* written;
    } cases[] = {
        {"size, one dpi zero, one length negative",
         [] {
             auto s = std::make_unique<CFilterSizeInfo>();
             s->horiDpi = 300;
             s->physicalWidth = 8500;
             s->physicalHeight = -1;
             return std::unique_ptr<CFilterInfoBase>(std::move(s));
         },
         "<Root/>"},
        {"grid, no columns",
         [] {
             auto g = std::make_unique<CFilterGridInfo>();
             g->ruleRows = 4;
             return std::unique_ptr<CFilterInfoBase>(std::move(g));
         },
         "<Root/>"},
        {"frame line, negative method",
         [] {
             auto f = std::make_unique<CFilterFrameLineInfo>();
             f->method = -2;
             return std::unique_ptr<CFilterInfoBase>(std::move(f));
         },
         "<Root><LineDetection Method=\"-2\"/></Root>"},
        {"text, method 0",
         [] {
             auto t = std::make_unique<CFilterTextInfo>();
             t->method = 0;
             return std::unique_ptr<CFilterInfoBase>(std::move(t));
         },
         "<Root/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<CFilterInfoBase> info = c.make();
        EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return info->WriteXml(d); })), c.written);
    }
    // An element that is not there leaves the values the record had.
    CXmlDocument xml;
    ASSERT_TRUE(xml.ParseText(u"<Root><PhysicalSize Width=\"10\" Height=\"20\"/></Root>"));
    ASSERT_TRUE(xml.FindElement(u"Root") && xml.EnterElement());
    CFilterSizeInfo size;
    size.horiDpi = 200;
    ASSERT_TRUE(size.ReadXml(xml));
    EXPECT_EQ(size.horiDpi, 200);
    EXPECT_EQ(size.physicalWidth, 10);
    EXPECT_EQ(size.physicalHeight, 20);
}

// The main template's paths are the texts of four child elements.
TEST(MainTemplateTable, PathElementsRoundTrip) {
    CMainTemplate a;
    FillFields(a, 0);
    const std::u16string first =
        WrittenText([&](CXmlDocument& d) { return WriteFields(a, CMainTemplate::Fields(), d); });
    EXPECT_NE(first.find(u"<SubTemplateListPath>"), std::u16string::npos);
    ExpectDescriptorsMatch(a, first);
    CXmlDocument reread;
    ASSERT_TRUE(reread.ParseText(first));
    ASSERT_TRUE(reread.FindElement(u"Root") && reread.EnterElement());
    CMainTemplate b;
    ASSERT_TRUE(ReadFields(b, CMainTemplate::Fields(), reread));
    EXPECT_EQ(b.subTemplateListPath, a.subTemplateListPath);
    EXPECT_EQ(N(WrittenText([&](CXmlDocument& d) { return WriteFields(b, CMainTemplate::Fields(), d); })),
              N(first));
}

}  // namespace
}  // namespace libMorvaneClassifier
