// Fuzzes the template readers: the same bytes are read as a main template,
// a filter template, a sub-template list and a sub-template, and every
// result is walked the way classification walks it.
#include <cstddef>
#include <cstdint>

#include "filters/FilterArray.h"
#include "filters/FilterFactory.h"
#include "filters/FilterText.h"
#include "templates/FilterConfig.h"
#include "templates/FilterInfoBase.h"
#include "templates/MainTemplate.h"
#include "templates/SubTemplateList.h"
#include "xml/XmlDocument.h"

using namespace libMorvaneClassifier;

namespace {

// A directory that does not exist, so that file names in the input never
// reach a real file.
const std::u16string kNowhere = u"/nonexistent-morvane-fuzz-dir/";

void WalkInfo(CFilterInfoBase& info, const std::vector<CAnchor*>& anchors) {
    info.SetImageSize(1000, 700);
    (void)info.EffectiveRegion();
    info.anchors = &anchors;
    info.SetImageSize(640, 480);
    (void)info.EffectiveRegion();
    info.anchors = nullptr;
    if (auto copy = CreateFilterInfo(info.type)) {
        copy->Assign(info);
        (void)copy->Compare(&info);
        // Text records: every matching method and normalisation, the
        // record's lines standing for both the recognised and the expected ones.
        if (auto* text = dynamic_cast<CFilterTextInfo*>(copy.get())) {
            for (int32_t method = 0; method <= 6; ++method)
                for (int32_t app = 0; app <= 1; ++app) {
                    text->method = method;
                    text->applicationType = app;
                    (void)text->Compare(&info);
                }
        }
        (void)info.LocateAnchors(copy.get());
    }
    std::vector<CAnchor*> owned;
    info.CollectAnchors(owned);
    ParameterList params;
    info.ListParameters(params);
}

void WalkSubTemplate(CSubTemplate& sub) {
    sub.ResetAnchors();
    for (CAnchor* a : sub.anchors) {
        a->SetImageSize(100, 100);
        a->Locate(10, 20);
        (void)a->PixelPosition();
    }
    sub.InheritAnchors(&sub);
    if (sub.filterInfos)
        for (const auto& info : sub.filterInfos->items)
            if (info) {
                WalkInfo(*info, sub.anchors);
                sub.StoreFeature(*info, FilterKinds());
            }
    (void)sub.FindStoredFeature(0);
    sub.ClearStoredFeatures();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CXmlDocument doc;
    if (!doc.LoadFromBytes(data, size)) return 0;

    CSubTemplate sub;
    sub.imageDir = kNowhere;
    if (sub.ReadFrom(doc, FilterKinds())) WalkSubTemplate(sub);

    CSubTemplateList list;
    list.templateDir = kNowhere;
    list.imageDir = kNowhere;
    list.ReadFrom(doc, FilterKinds());

    CMainTemplate main;
    main.directory = kNowhere;
    if (main.ReadFrom(doc)) {
        CSubTemplateList bound;
        bound.items.push_back(std::make_unique<CSubTemplate>());
        bound.items.back()->index = sub.index;
        bound.items.back()->id = sub.id;
        bound.count = 1;
        main.BindAttachments(bound);
        main.SetAllValid(false);
        main.MarkValid(sub.id);
        for (CTemplateGroup* g : main.groups) {
            (void)g->ValidChildCount();
            for (int32_t i = 0; i < g->FilterConfigCount(); ++i) (void)g->FilterConfig(i);
            for (int32_t i = 0; i < g->childCount && i < 4; ++i) (void)g->Child(i);
            g->Score().Reset();
        }
        main.SetAllValid(true);
    }

    CFilterArray filters;
    filters.baseDir = kNowhere;
    if (filters.ReadFrom(doc)) {
        for (int32_t i = 0; i < filters.count; ++i) {
            CFilterBase* f = filters.Get(i);
            if (!f) continue;
            (void)filters.Find(f->index);
            if (f->rule) WalkInfo(*f->rule, sub.anchors);
            if (auto copy = CreateFilter(f->type)) copy->Assign(*f);
        }
    }
    return 0;
}
