#include "api/MainTemplateEntry.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "core/ResultCodes.h"
#include "core/TextConv.h"
#include "engines/EngineAdapters.h"
#include "engines/EngineService.h"
#include "engines/GeneralRecog.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFactory.h"
#include "filters/FilterSize.h"
#include "filters/FilterText.h"
#include "imagefile/ImageCodecs.h"
#include "platform/EngineFiles.h"
#include "preprocess/ImageProcessing.h"
#include "templates/FilterConfig.h"
#include "templates/FilterScore.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"
#include "templates/SubTemplateList.h"
#include "templates/TemplateGroup.h"
#include "xml/XmlDocument.h"

namespace libMorvaneClassifier {

CMainTemplateEntry::CMainTemplateEntry() = default;
CMainTemplateEntry::~CMainTemplateEntry() = default;

namespace {

// Why one file of a template set could not be read: what the readers noted,
// else which file it was.
std::string LoadProblem(const char* kind, const std::u16string& path) {
    std::string problem = TakeTemplateProblem();
    if (problem.empty()) problem = Utf16ToPathBytes(path) + ": not a readable " + kind;
    return problem;
}

}  // namespace

int CMainTemplateEntry::Load(const std::u16string& path) {
    TakeTemplateProblem();  // left over from an earlier load
    loadDetail.clear();
    std::unique_ptr<CMainTemplate> main(new (std::nothrow) CMainTemplate);
    if (!main || !main->Load(path)) {
        loadDetail = LoadProblem("main template", path);
        return kErrReadMainTemplate;
    }
    mainTemplate = std::move(main);

    std::unique_ptr<CFilterArray> array(new (std::nothrow) CFilterArray);
    if (!array) return kErrReadFilterTemplate;
    array->baseDir = mainTemplate->imagePath;
    if (!array->Load(mainTemplate->filterTemplatePath)) {
        loadDetail = LoadProblem("filter template", mainTemplate->filterTemplatePath);
        return kErrReadFilterTemplate;
    }
    filters = std::move(array);

    std::unique_ptr<CSubTemplateList> list(new (std::nothrow) CSubTemplateList);
    if (!list) return kErrReadSubTemplate;
    list->templateDir = mainTemplate->subTemplatePath;
    list->imageDir = mainTemplate->imagePath;
    // Sub-template files hold the filters' reference records, made through
    // the filters' kind table.
    if (!list->Load(mainTemplate->subTemplateListPath, FilterKinds())) {
        loadDetail = LoadProblem("sub-template list or sub-template", mainTemplate->subTemplateListPath);
        return kErrReadSubTemplate;
    }
    subTemplates = std::move(list);

    mainTemplate->BindAttachments(*subTemplates);
    return kSuccess;
}

int CMainTemplateEntry::CheckEngines(std::string& detail) {
    auto check = [&](const CFilterInfoBase* info, const std::string& where) {
        const auto* text = dynamic_cast<const CFilterTextInfo*>(info);
        if (!text || !text->engines) return true;
        for (int32_t i = 0; i < text->engines->Count(); ++i) {
            const CKernelInfo* k = text->engines->Get(i);
            if (!k) continue;
            if (ProcessEngineService().Start(k->mainType, k->subType) == 0) continue;
            detail = where + ": recognition engine (type " + std::to_string(k->mainType) + "/" +
                     std::to_string(k->subType) + ") could not start";
            if (!LastEngineFailure().empty()) detail += ": " + LastEngineFailure();
            return false;
        }
        return true;
    };
    if (filters)
        for (const auto& f : filters->filters)
            if (f && !check(f->rule.get(),
                            "text filter " + std::to_string(f->index) + " \"" + Utf16ToUtf8(f->name) + "\""))
                return kErrExtractFeature;
    if (subTemplates)
        for (const auto& sub : subTemplates->items)
            if (sub && sub->filterInfos)
                for (const auto& info : sub->filterInfos->items)
                    if (!check(info.get(), "sub-template " + Utf16ToUtf8(sub->id))) return kErrExtractFeature;
    return kSuccess;
}

void CMainTemplateEntry::AddValidTemplate(const std::u16string& id) {
    if (!mainTemplate) return;
    if (std::find(validIds.begin(), validIds.end(), id) == validIds.end()) validIds.push_back(id);
    mainTemplate->MarkValid(id);
}

void CMainTemplateEntry::ResetTemplates(int valid) {
    if (!mainTemplate) return;
    validIds.clear();
    mainTemplate->SetAllValid(valid != 0);
}

void CMainTemplateEntry::SetAttribute(int attribute, int value) {
    if (!mainTemplate) return;
    if (attribute == 0) mainTemplate->shortcut = value != 0;
}

CSubTemplate* CMainTemplateEntry::Shortcut() const {
    if (!mainTemplate->shortcut || validIds.size() != 1 || !subTemplates) return nullptr;
    const std::u16string& id = validIds.front();
    CSubTemplate* candidate = nullptr;
    for (const auto& sub : subTemplates->items) {
        if (!sub || sub->id != id) continue;
        if (sub->outputId != u"1") return nullptr;
        candidate = sub.get();
    }
    return candidate;
}

void CMainTemplateEntry::ResetTree() {
    // Anchors of the whole tree first, then the stored features.
    for (CTemplateGroup* g : mainTemplate->groups)
        if (g && g->attached) g->attached->ResetAnchors();
    for (CTemplateGroup* g : mainTemplate->groups)
        if (g && g->attached) g->attached->ClearStoredFeatures();
}

int32_t CMainTemplateEntry::ChooseChild(const CTemplateGroup& current, bool& byDefault) const {
    int32_t best = 0;
    int32_t chosen = -1;
    int32_t fallback = -1;
    for (int32_t i = 0; i < current.childCount; ++i) {
        CTemplateGroup* child = current.Child(i);
        if (!child) continue;
        if (child->action == 0 && child->valid && fallback < 0) {
            fallback = i;
            continue;
        }
        if (child->score && child->score->passed && child->score->score > best) {
            best = child->score->score;
            chosen = i;
        }
    }
    byDefault = chosen < 0 && fallback >= 0;
    return chosen >= 0 ? chosen : fallback;
}

void CMainTemplateEntry::TraceChildren(const CTemplateGroup& group) {
    TraceLevel& level = trace.levels.back();
    level.children.resize(group.childCount > 0 ? static_cast<size_t>(group.childCount) : 0);
    for (int32_t i = 0; i < group.childCount; ++i) {
        TraceChild& c = level.children[static_cast<size_t>(i)];
        c.index = i;
        const CTemplateGroup* child = group.Child(i);
        if (!child) {
            c.valid = false;
            continue;
        }
        c.groupIndex = child->index;
        c.name = child->name;
        c.action = child->action;
        c.valid = child->valid;
        if (child->attached) c.templateId = child->attached->id;
    }
}

int CMainTemplateEntry::Walk(CRawImage& working, const ClassificationContext& context,
                             CSubTemplate*& result) {
    // The page's resolution, as the context decided it. When given, it is
    // the working page's resolution (scaled as the page was decoded) for
    // every step that rescales by it; the size filter reads it from the
    // filter's fields below.
    trace.resolutionSource = context.source;
    trace.resolutionX = context.pageXDpi;
    trace.resolutionY = context.pageYDpi;
    if (context.pageXDpi > 0)
        working.xResolution = imagefile::ScaledDpi(context.pageXDpi, context.scaleNum, context.scaleDen);
    if (context.pageYDpi > 0)
        working.yResolution = imagefile::ScaledDpi(context.pageYDpi, context.scaleNum, context.scaleDen);
    ApplyImageProcessingList(working, mainTemplate->steps.get());

    CTemplateGroup* current = mainTemplate->root.get();
    while (current) {
        trace.OpenLevel(*current);
        walk.groups.push_back(current);
        if (current->ValidChildCount() == 0) {
            trace.levels.back().by = ChoiceBy::kFinal;
            result = current->attached;
            return kSuccess;
        }
        TraceChildren(*current);
        if (current->FilterConfigCount() == 0) {
            trace.levels.back().by = ChoiceBy::kNoFilters;
            result = nullptr;
            return kErrClassify;
        }
        for (int32_t i = 0; i < current->childCount; ++i) {
            CTemplateGroup* child = current->Child(i);
            if (!child) continue;
            if (child->attached && current->attached) child->attached->InheritAnchors(current->attached);
            child->Score().Reset();
        }
        for (int32_t i = 0; i < current->FilterConfigCount(); ++i) {
            const CFilterConfig* config = current->FilterConfig(i);
            if (!config) continue;
            CFilterBase* filter = filters ? filters->Find(config->refFilter) : nullptr;
            TraceFilter seen;
            seen.refFilter = config->refFilter;
            seen.threshold = config->filterThresh;
            seen.weight = config->filterWeight;
            seen.found = filter != nullptr;
            if (filter) {
                seen.name = filter->name;
                seen.type = filter->type;
                seen.processType = filter->processType;
            }
            trace.BeginFilter(seen);
            if (!filter) continue;
            // The filter's run-time fields, from the group's configuration
            // and the context.
            PrepareFilter(*filter, config, context);
            if (trace.resolutionX == 0 && trace.resolutionY == 0) {
                // Without a page resolution the first size filter's own is
                // the one the page is measured with.
                if (const auto* own = dynamic_cast<const CFilterSizeInfo*>(filter->rule.get())) {
                    trace.resolutionX = own->horiDpi;
                    trace.resolutionY = own->vertDpi;
                }
            }
            // A filter's own failure leaves the scores as it found them; the
            // walk goes on regardless.
            filter->failureDetail.clear();
            const int32_t code = filter->Classify(working, current);
            trace.EndFilter(*current, code);
            if (code != kSuccess && !filter->failureDetail.empty()) {
                // A filter that could not measure at all (an engine that
                // would not start) fails the page rather than let it pass
                // for the coarser class its siblings' defaults lead to.
                failureDetail = filter->failureDetail;
                trace.levels.back().filters.back().detail = failureDetail;
                trace.levels.back().by = ChoiceBy::kNone;
                result = nullptr;
                return code;
            }
        }
        TraceLevel& level = trace.levels.back();
        for (TraceChild& c : level.children) {
            const CTemplateGroup* child = current->Child(c.index);
            if (child && child->score) {
                c.total = child->score->score;
                c.passed = child->score->passed;
            }
        }
        bool byDefault = false;
        const int32_t next = ChooseChild(*current, byDefault);
        level.chosen = next;
        if (next < 0) {
            level.by = ChoiceBy::kNone;
            result = nullptr;
            return kErrClassify;
        }
        level.by = byDefault ? ChoiceBy::kDefault : ChoiceBy::kScore;
        current = current->Child(next);
    }
    result = nullptr;
    return kErrClassify;
}

int CMainTemplateEntry::FindSubTemplateConsuming(CRawImage& image, const ClassificationContext& context,
                                                 CSubTemplate*& result) {
    return Run(image, &image, context, result);
}

int CMainTemplateEntry::FindSubTemplate(const CRawImage& image, const ClassificationContext& context,
                                        CSubTemplate*& result) {
    return Run(image, nullptr, context, result);
}

ClassificationContext CMainTemplateEntry::OwnContext() {
    ClassificationContext context = ClassificationContext::For(horiDpi, vertDpi, 0, 0);
    context.observer = &trace;
    return context;
}

int CMainTemplateEntry::FindSubTemplate(const CRawImage& image, CSubTemplate*& result) {
    return Run(image, nullptr, OwnContext(), result);
}

int CMainTemplateEntry::FindSubTemplateConsuming(CRawImage& image, CSubTemplate*& result) {
    return Run(image, &image, OwnContext(), result);
}

int CMainTemplateEntry::Run(const CRawImage& image, CRawImage* disposable,
                            const ClassificationContext& context, CSubTemplate*& result) {
    trace.Begin(-1);
    failureDetail.clear();
    walk.groups.clear();
    walk.pageWidth = image.width;
    walk.pageHeight = image.height;
    const int code = RunWalk(image, disposable, context, result);
    trace.code = code;
    trace.hasResult = result != nullptr;
    if (result) {
        trace.resultId = result->id;
        trace.resultName = result->name;
        trace.resultOutputId = result->outputId;
    }
    return code;
}

int CMainTemplateEntry::RunWalk(const CRawImage& image, CRawImage* disposable,
                                const ClassificationContext& context, CSubTemplate*& result) {
    result = nullptr;
    if (!image.HasPixels()) return kErrInvalidParameter;
    if (!mainTemplate || !mainTemplate->root) return kErrClassify;
    if (CSubTemplate* shortcut = Shortcut()) {
        trace.shortcut = true;
        result = shortcut;
        return kSuccess;
    }
    ResetTree();
    if (disposable) return Walk(*disposable, context, result);
    // The image handed in is only read: the walk works on its own copy.
    CRawImage working(image);
    if (!working.HasPixels()) throw std::bad_alloc();
    return Walk(working, context, result);
}

}  // namespace libMorvaneClassifier
