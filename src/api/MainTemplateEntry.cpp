#include "api/MainTemplateEntry.h"

#include <algorithm>
#include <new>

#include "core/ResultCodes.h"
#include "filters/FilterArray.h"
#include "filters/FilterBase.h"
#include "filters/FilterFactory.h"
#include "templates/FilterConfig.h"
#include "templates/FilterScore.h"
#include "preprocess/ImageProcessing.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplate.h"
#include "templates/SubTemplateList.h"
#include "templates/TemplateGroup.h"

namespace libMorvaneClassifier {

// Sub-template files hold the filters' reference records: their kinds must
// be known before the first template is read.
CMainTemplateEntry::CMainTemplateEntry() { RegisterFilterRecords(); }
CMainTemplateEntry::~CMainTemplateEntry() = default;

int CMainTemplateEntry::Load(const std::u16string& path) {
    std::unique_ptr<CMainTemplate> main(new (std::nothrow) CMainTemplate);
    if (!main || !main->Load(path)) return kErrReadMainTemplate;
    mainTemplate = std::move(main);

    std::unique_ptr<CFilterArray> array(new (std::nothrow) CFilterArray);
    if (!array) return kErrReadFilterTemplate;
    array->baseDir = mainTemplate->imagePath;
    if (!array->Load(mainTemplate->filterTemplatePath)) return kErrReadFilterTemplate;
    filters = std::move(array);

    std::unique_ptr<CSubTemplateList> list(new (std::nothrow) CSubTemplateList);
    if (!list) return kErrReadSubTemplate;
    list->templateDir = mainTemplate->subTemplatePath;
    list->imageDir = mainTemplate->imagePath;
    if (!list->Load(mainTemplate->subTemplateListPath)) return kErrReadSubTemplate;
    subTemplates = std::move(list);

    mainTemplate->BindAttachments(*subTemplates);
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

CTemplateGroup* CMainTemplateEntry::ChooseChild(const CTemplateGroup& current) const {
    int32_t best = 0;
    CTemplateGroup* chosen = nullptr;
    CTemplateGroup* fallback = nullptr;
    for (int32_t i = 0; i < current.childCount; ++i) {
        CTemplateGroup* child = current.Child(i);
        if (!child) continue;
        if (child->action == 0 && child->valid && !fallback) {
            fallback = child;
            continue;
        }
        if (child->score && child->score->passed && child->score->score > best) {
            best = child->score->score;
            chosen = child;
        }
    }
    return chosen ? chosen : fallback;
}

int CMainTemplateEntry::Walk(CRawImage& working, CSubTemplate*& result) {
    // The host's run-time resolution, when set, is the page's resolution for
    // every step that rescales by it (the file's own value may be missing or
    // wrong); the size filter reads it from the filter as before.
    if (horiDpi > 0) working.xResolution = horiDpi;
    if (vertDpi > 0) working.yResolution = vertDpi;
    ApplyImageProcessingList(working, mainTemplate->steps.get());

    CTemplateGroup* current = mainTemplate->root.get();
    while (current) {
        if (current->ValidChildCount() == 0) {
            result = current->attached;
            return kSuccess;
        }
        if (current->FilterConfigCount() == 0) {
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
            if (!filter) continue;
            filter->threshold = config->filterThresh;
            filter->weight = config->filterWeight;
            filter->featureMode = config->featureMode;
            filter->inheritedFilter = config->inheritedFilter;
            filter->horiDpi = horiDpi;
            filter->vertDpi = vertDpi;
            // A filter's own failure leaves the scores as it found them; the
            // walk goes on regardless.
            filter->Classify(working, current);
        }
        CTemplateGroup* next = ChooseChild(*current);
        if (!next) {
            result = nullptr;
            return kErrClassify;
        }
        current = next;
    }
    result = nullptr;
    return kErrClassify;
}

int CMainTemplateEntry::FindSubTemplateConsuming(CRawImage& image, CSubTemplate*& result) {
    return Run(image, &image, result);
}

int CMainTemplateEntry::FindSubTemplate(const CRawImage& image, CSubTemplate*& result) {
    return Run(image, nullptr, result);
}

int CMainTemplateEntry::Run(const CRawImage& image, CRawImage* disposable, CSubTemplate*& result) {
    result = nullptr;
    if (!image.HasPixels()) return kErrInvalidParameter;
    if (!mainTemplate || !mainTemplate->root) return kErrClassify;
    if (CSubTemplate* shortcut = Shortcut()) {
        result = shortcut;
        return kSuccess;
    }
    ResetTree();
    if (disposable) return Walk(*disposable, result);
    // The image handed in is only read: the walk works on its own copy.
    CRawImage working(image);
    if (!working.HasPixels()) throw std::bad_alloc();
    return Walk(working, result);
}

}  // namespace libMorvaneClassifier
