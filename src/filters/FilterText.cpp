#include "filters/FilterText.h"

#include <chrono>
#include <new>

#include "core/JsonText.h"
#include "core/ObjList.h"
#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "engines/EngineService.h"
#include "engines/GeneralRecog.h"
#include "filters/FilterFactory.h"
#include "filters/TextScoring.h"
#include "image/Cropper.h"
#include "image/Dib.h"
#include "preprocess/ImageProcessing.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

// ---- CFilterTextInfo ----

CFilterTextInfo::CFilterTextInfo() { type = kFilterTypeText; }
CFilterTextInfo::~CFilterTextInfo() = default;

const RecordTable<CFilterTextInfo>& CFilterTextInfo::Fields() {
    static const RecordTable<CFilterTextInfo> table{
        u"TextFilterInfo",
        {ChildField<&CFilterTextInfo::lineLocation>(CLineLocationInfo::kElement),
         ChildField<&CFilterTextInfo::charLocation>(CCharLocationInfo::kElement),
         ChildField<&CFilterTextInfo::engines>(CKernelInfo::kListElement),
         IntField(u"Method", &CFilterTextInfo::method, kParamTextMatchMethod)
             .On(u"TextMatch", WrittenWhen::kAllNonZero),
         ChildField<&CFilterTextInfo::textLines>(CTextLine::kListElement)}};
    return table;
}

void CFilterTextInfo::Assign(const CFilterInfoBase& other) {
    if (&other == this || other.type != type || !AssignKindFields(*this, other)) return;
    CFilterInfoBase::Assign(other);
}

bool CFilterTextInfo::ReadXml(CXmlDocument& xml) {
    ReadRegion(xml);
    // Each sub-record is kept when its element is there and reads; a missing
    // element leaves the cursor where it was, so the next search starts from
    // the same place.
    ReadChildren(*this, Fields(), xml);
    return true;
}

bool CFilterTextInfo::WriteXml(CXmlDocument& xml) const {
    return WriteRegion(xml) && WriteChildren(*this, Fields(), xml);
}

namespace {

std::vector<CTextLine*> LinesOf(const CFilterTextInfo& info) {
    std::vector<CTextLine*> v;
    if (info.textLines) info.textLines->ForEach([&](CTextLine& line) { v.push_back(&line); });
    return v;
}

}  // namespace

// This record is the feature measured from the image; reference is the
// child's expected lines. The method and the normalisation come from the
// feature (copied from the filter and its rule when it was measured).
int32_t CFilterTextInfo::Compare(CFilterInfoBase* reference) {
    auto* ref = dynamic_cast<CFilterTextInfo*>(reference);
    if (!ref || ref->type != type) return 0;
    return MatchTextLines(method, applicationType, LinesOf(*ref), LinesOf(*this), true, lineScores);
}

// This record is the reference: its lines are aligned with the feature's as
// method 1 does, and the anchors of the matched lines' regions are located on
// the recognised lines. True when at least one line pair was found.
bool CFilterTextInfo::LocateAnchors(CFilterInfoBase* feature) {
    auto* f = dynamic_cast<CFilterTextInfo*>(feature);
    if (!f || f->type != type) return false;
    const std::vector<CTextLine*> refLines = LinesOf(*this);
    const std::vector<CTextLine*> featLines = LinesOf(*f);
    return MatchTextLines(kTextMatchAlign, f->applicationType, refLines, featLines, true) > 0;
}

void CFilterTextInfo::CollectAnchors(std::vector<CAnchor*>& list) {
    if (!textLines) return;
    textLines->ForEach([&](CTextLine& line) {
        if (line.region && line.region->anchorList)
            line.region->anchorList->ForEach([&](CAnchor& a) { list.push_back(&a); });
    });
}

void CFilterTextInfo::SetImageSize(int32_t width, int32_t height) {
    if (charLocation) charLocation->SetImageSize(width, height);
    if (lineLocation) lineLocation->SetImageSize(width, height);
    if (textLines) textLines->ForEach([&](CTextLine& line) { line.SetImageSize(width, height); });
    CFilterInfoBase::SetImageSize(width, height);
}

// ---- CFilterText ----

CFilterText::CFilterText() {
    type = kFilterTypeText;
    applicationType = 0;
}

void CFilterText::ListParameters(ParameterList& list) {
    BeginParameters(list, u"Text Filter");
    CFilterBase::ListParameters(list);
}

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TextCharLimits LimitsOf(const CCharProperty& p) {
    TextCharLimits l;
    l.minWidthPx = p.MinWidthPx();
    l.maxWidthPx = p.MaxWidthPx();
    l.minHeightPx = p.MinHeightPx();
    l.maxHeightPx = p.MaxHeightPx();
    l.minSpacePx = p.MinSpacePx();
    l.maxSpacePx = p.MaxSpacePx();
    l.minWHRatio = p.MinWHRatio;
    l.maxWHRatio = p.MaxWHRatio;
    return l;
}

Rect32 ToRect(const TextBox& b) { return Rect32{b.left, b.top, b.right, b.bottom}; }

// Bounds of a trace note: lines listed and characters shown per text.
constexpr size_t kNoteLines = 6;
constexpr size_t kNoteChars = 48;

void AppendShortText(std::string& out, const std::u16string& text) {
    if (text.size() <= kNoteChars) {
        AppendJsonString(out, text);
        return;
    }
    AppendJsonString(out, text.substr(0, kNoteChars) + u"...");
}

// The note a compared child gets in the decision trace: the filter, the
// method, how many lines were recognised, and for each compared reference
// line (at most kNoteLines) its expected text, the recognised line it was
// compared with and the line's value.
std::string TextScoreNote(int32_t filterIndex, const CFilterTextInfo& feature,
                          const CFilterTextInfo& reference, const std::vector<TextLineScore>& scores) {
    const std::vector<CTextLine*> refLines = LinesOf(reference);
    const std::vector<CTextLine*> featLines = LinesOf(feature);
    std::string out = "{\"filter\":" + std::to_string(filterIndex) +
                      ",\"method\":" + std::to_string(feature.method) +
                      ",\"recognisedLines\":" + std::to_string(featLines.size()) + ",\"lines\":[";
    for (size_t i = 0; i < scores.size() && i < kNoteLines; ++i) {
        const TextLineScore& s = scores[i];
        if (i) out.push_back(',');
        out += "{\"expected\":";
        if (s.reference >= 0 && static_cast<size_t>(s.reference) < refLines.size())
            AppendShortText(out, refLines[static_cast<size_t>(s.reference)]->text);
        else
            out += "null";
        out += ",\"recognised\":";
        if (s.feature >= 0 && static_cast<size_t>(s.feature) < featLines.size())
            AppendShortText(out, featLines[static_cast<size_t>(s.feature)]->text);
        else
            out += "null";
        out += ",\"score\":" + std::to_string(s.value) + "}";
    }
    out += "]";
    if (scores.size() > kNoteLines) out += ",\"moreLines\":" + std::to_string(scores.size() - kNoteLines);
    out += "}";
    return out;
}

}  // namespace

// Measures the text of the rule's region: the filter's steps on a copy of
// the page, the rule's region cut out of it, its lines and their character
// pieces located, each line recognised with the dynamic merge and the kept
// lines stored in the feature (FinishFeature).
int32_t CFilterText::ExtractFeature(const CRawImage* images, int32_t imageCount, CFilterInfoBase* feature) {
    if (!images || imageCount <= 0 || !images[0].HasPixels()) return kErrInvalidParameter;
    if (!feature || !rule || feature->type != rule->type) return kErrInvalidParameter;
    auto* out = dynamic_cast<CFilterTextInfo*>(feature);
    auto* ruleInfo = dynamic_cast<CFilterTextInfo*>(rule.get());
    if (!out || !ruleInfo) return kErrInvalidParameter;
    try {
        const Clock::time_point locateStart = Clock::now();
        CRawImage copy(images[0]);
        ApplyImageProcessingList(copy, steps.get());  // its result does not decide anything
        if (!copy.HasPixels() || copy.width < 1 || copy.height < 1) return kErrInvalidParameter;
        ruleInfo->SetImageSize(copy.width, copy.height);

        const std::optional<Rect32> r = ruleInfo->EffectiveRegion();
        if (!r) return kErrInvalidParameter;
        CRawImage regionImage;
        CCropper cropper(&copy);
        cropper.left = r->left;
        cropper.top = r->top;
        cropper.right = r->right;
        cropper.bottom = r->bottom;
        if (!cropper.Process(regionImage) || !regionImage.HasPixels()) return kErrInvalidParameter;
        // The cropper clamps the rectangle to the page; lines are placed on
        // the page from the clamped corner.
        const Rect32 placed{cropper.left, cropper.top, cropper.right, cropper.bottom};

        if (!ruleInfo->lineLocation) return kErrInvalidParameter;
        if (!ruleInfo->charLocation) return kSuccess;  // an empty feature: it scores 0
        if (!ruleInfo->charLocation->property) return kErrInvalidParameter;

        std::vector<TextLineResult> found;
        const int32_t located =
            LocateText(regionImage, *ruleInfo->lineLocation, *ruleInfo->charLocation, found);
        if (timings) timings->location += SecondsSince(locateStart);
        if (located != kSuccess) return located;
        if (found.empty()) return kErrAnalyzeTextLine;

        std::vector<LocatedTextLine> lines;
        lines.reserve(found.size());
        for (const TextLineResult& f : found) {
            LocatedTextLine l;
            l.box = ToRect(f.line);
            l.pieces.reserve(f.chars.size());
            for (const TextBox& c : f.chars) l.pieces.push_back(ToRect(c));
            lines.push_back(std::move(l));
        }

        const Clock::time_point recogniseStart = Clock::now();
        std::vector<TextEngineRecord> engines;
        TextRecognizeFn recognize;
        BindEngines(*ruleInfo, regionImage, engines, recognize);
        const int32_t rc =
            FinishFeature(lines, placed, copy.width, copy.height, LimitsOf(*ruleInfo->charLocation->property),
                          engines, recognize, *out);
        if (timings) timings->recognition += SecondsSince(recogniseStart);
        return rc;
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
}

void CFilterText::BindEngines(CFilterTextInfo& ruleInfo, const CRawImage& regionImage,
                              std::vector<TextEngineRecord>& engines, TextRecognizeFn& recognize) const {
    engines.clear();
    const int32_t n = ruleInfo.engines ? ruleInfo.engines->Count() : 0;
    // What weighs a recognition: the allowed characters and the character-
    // ratio records of each engine record (an empty slot weighs nothing).
    for (int32_t i = 0; i < n; ++i) {
        TextEngineRecord record;
        if (const CKernelInfo* k = ruleInfo.engines->Get(i)) {
            record.filterPlus = k->filterPlus;
            if (k->charRatios)
                for (const auto& c : k->charRatios->items)
                    record.charRatios.push_back(TextCharRatio{c->CharType, c->WHRatio, c->Charset});
        }
        engines.push_back(std::move(record));
    }
    if (recognizer) {
        if (engines.empty()) engines.resize(1);
        recognize = [this, &regionImage](const Rect32& box, size_t e, RecognitionResult& result) {
            return recognizer(regionImage, box, e, result);
        };
        return;
    }
    if (n == 0) return;  // nothing recognises: every line is skipped
    CRecogEngineList* list = ruleInfo.engines.get();
    CEngineService& service = engineService ? *engineService : ProcessEngineService();
    recognize = [this, list, &service, &regionImage](const Rect32& box, size_t e, RecognitionResult& result) {
        CKernelInfo* k = list->Get(static_cast<int32_t>(e));
        if (!k) return false;
        RecogResult r{};
        const int rc = service.Recognize(regionImage, box.left, box.top, box.right, box.bottom, *k, r);
        if (rc != 0 && !k->initialised && !k->startFailure.empty() && engineFailure_.empty())
            engineFailure_ = k->startFailure;
        if (rc != 0) return false;
        result.left = r.left;
        result.top = r.top;
        result.right = r.right;
        result.bottom = r.bottom;
        for (int i = 0; i < 10; ++i) {
            result.candidates[i] = static_cast<char16_t>(r.candidates[i]);
            result.scores[i] = r.scores[i];
        }
        return true;
    };
}

int32_t CFilterText::FinishFeature(const std::vector<LocatedTextLine>& located, const Rect32& region,
                                   int32_t pageWidth, int32_t pageHeight, const TextCharLimits& limits,
                                   const std::vector<TextEngineRecord>& engines,
                                   const TextRecognizeFn& recognize, CFilterTextInfo& feature) const {
    auto lines = std::make_unique<CTextLineList>();
    const int32_t rc =
        RecogniseLocatedLines(located, region, pageWidth, pageHeight, limits, engines, recognize, *lines);
    if (rc != kSuccess) return rc;
    feature.SetImageSize(pageWidth, pageHeight);
    feature.textLines = std::move(lines);
    feature.refFilter = index;
    const auto* ownRule = dynamic_cast<const CFilterTextInfo*>(rule.get());
    feature.method = ownRule ? ownRule->method : 0;
    feature.applicationType = applicationType;
    return kSuccess;
}

int32_t CFilterText::Classify(const CRawImage& image, CTemplateGroup* group) {
    engineFailure_.clear();
    const int32_t code = ClassifyGroup(image, group);
    if (code == kSuccess && !engineFailure_.empty()) {
        // Without its engine the filter measured nothing: the page cannot be
        // told apart here, and must not pass for its coarser parent class.
        failureDetail =
            "text filter " + std::to_string(index) + " \"" + Utf16ToUtf8(name) + "\": " + engineFailure_;
        return kErrExtractFeature;
    }
    return code;
}

int32_t CFilterText::ClassifyGroup(const CRawImage& image, CTemplateGroup* group) {
    if (!image.HasPixels() || !group) return kErrInvalidParameter;
    if (group->childCount <= 0) return kSuccess;
    if (applicationType != 0 && applicationType != 1) return kSuccess;

    // Where a feature comes from: measured, or reused from the feature a
    // filter stored with the group's own sub-template at the previous level.
    auto obtainFeature = [&]() -> std::unique_ptr<CFilterInfoBase> {
        if (featureMode == 0) return CreateFeature(&image, 1);
        if (featureMode == 1 && group->attached) {
            if (CFilterInfoBase* stored = group->attached->FindStoredFeature(inheritedFilter)) {
                auto copy = std::make_unique<CFilterTextInfo>();
                copy->Assign(*stored);
                return copy;
            }
        }
        return nullptr;
    };
    auto compareChild = [&](CFilterInfoBase& feature, CTemplateGroup& child, int32_t i,
                            CFilterInfoBase& reference) {
        reference.anchors = &child.attached->GetAnchors();
        reference.SetImageSize(image.width, image.height);
        // The per-line values are kept only for a listener (the trace).
        std::vector<TextLineScore> lineScores;
        auto* textFeature = dynamic_cast<CFilterTextInfo*>(&feature);
        if (scoreObserver && textFeature) textFeature->lineScores = &lineScores;
        const int32_t s = feature.Compare(&reference);
        if (textFeature) textFeature->lineScores = nullptr;
        reference.anchors = nullptr;
        child.attached->StoreFeature(feature, FilterKinds());
        if (scoreObserver && textFeature)
            if (const auto* ref = dynamic_cast<const CFilterTextInfo*>(&reference))
                scoreObserver->OnNote(i, TextScoreNote(index, *textFeature, *ref, lineScores));
        Score(child, i, s);
    };

    if (applicationType == 1) {
        std::unique_ptr<CFilterInfoBase> feature = obtainFeature();
        if (!feature) return kSuccess;
        for (int32_t i = 0; i < group->childCount; ++i) {
            CTemplateGroup* child = group->Child(i);
            if (CFilterInfoBase* reference = ReferenceFor(child))
                compareChild(*feature, *child, i, *reference);
        }
        return kSuccess;
    }

    // One measurement per child, each with the child's reference as the rule.
    for (int32_t i = 0; i < group->childCount; ++i) {
        CTemplateGroup* child = group->Child(i);
        CFilterInfoBase* reference = ReferenceFor(child);
        if (!reference) continue;
        // The reference stands in for the filter's own rule while this
        // child's feature is measured; the own rule is put back right after.
        std::unique_ptr<CFilterInfoBase> ownRule = std::move(rule);
        rule.reset(reference);
        reference->anchors = &child->attached->GetAnchors();
        std::unique_ptr<CFilterInfoBase> feature = obtainFeature();
        reference->anchors = nullptr;
        rule.release();  // owned by the child's sub-template
        rule = std::move(ownRule);
        if (!feature) continue;
        compareChild(*feature, *child, i, *reference);
    }
    return kSuccess;
}

}  // namespace libMorvaneClassifier
