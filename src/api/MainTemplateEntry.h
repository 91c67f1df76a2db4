// One loaded main template: its group tree, its filters and its
// sub-templates, with the run-time settings the host can change, and the
// classification driver that walks the tree for one page.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/ClassificationContext.h"
#include "api/DecisionTrace.h"
#include "api/RecognisedText.h"
#include "image/Dib.h"

namespace libMorvaneClassifier {

class CMainTemplate;
class CFilterArray;
class CSubTemplateList;
class CSubTemplate;
class CTemplateGroup;

class CMainTemplateEntry {
public:
    CMainTemplateEntry();
    ~CMainTemplateEntry();
    CMainTemplateEntry(const CMainTemplateEntry&) = delete;
    CMainTemplateEntry& operator=(const CMainTemplateEntry&) = delete;

    // Reads the main template, its filter template and its sub-template list,
    // then binds the groups to their sub-templates. 0, -4, -6 or -12.
    int Load(const std::u16string& path);
    // Why Load failed (file, line, element or attribute when known; UTF-8).
    std::string loadDetail;
    void SetResolution(int32_t h, int32_t v) {
        horiDpi = h;
        vertDpi = v;
    }
    // Starts every recognition engine the text filters and sub-templates
    // name. 0, or -9 with `detail` naming the first engine that cannot start
    // and its file.
    int CheckEngines(std::string& detail);
    void AddValidTemplate(const std::u16string& id);
    void ResetTemplates(int valid);
    void SetAttribute(int attribute, int value);

    // Classifies image (only read; the driver works on its own copy) with
    // the context of this classification. 0 with result set (or null), or
    // -8 / -61.
    int FindSubTemplate(const CRawImage& image, const ClassificationContext& context, CSubTemplate*& result);
    // The same, on an image the caller no longer needs: it becomes the
    // driver's working copy instead of being copied.
    int FindSubTemplateConsuming(CRawImage& image, const ClassificationContext& context,
                                 CSubTemplate*& result);
    // Both with the context of a page read at full size with no file
    // resolution (the tools' and tests' own walks).
    int FindSubTemplate(const CRawImage& image, CSubTemplate*& result);
    int FindSubTemplateConsuming(CRawImage& image, CSubTemplate*& result);
    // That context: the host's resolution for this main template, scale
    // 1/1, scores reported to `trace`.
    ClassificationContext OwnContext();

    std::unique_ptr<CMainTemplate> mainTemplate;
    std::unique_ptr<CFilterArray> filters;
    std::unique_ptr<CSubTemplateList> subTemplates;
    // The host's resolution for pages of this main template (0: none).
    int32_t horiDpi = 0;
    int32_t vertDpi = 0;
    std::vector<std::u16string> validIds;
    // The walk of the last run on this entry, and the groups it opened.
    DecisionTrace trace;
    WalkRecord walk;
    // Why the last run failed, when a filter could say (UTF-8).
    std::string failureDetail;

private:
    // Checks, shortcut and resets, then the walk on `disposable` when given,
    // else on a copy of image.
    int Run(const CRawImage& image, CRawImage* disposable, const ClassificationContext& context,
            CSubTemplate*& result);
    int RunWalk(const CRawImage& image, CRawImage* disposable, const ClassificationContext& context,
                CSubTemplate*& result);
    void TraceChildren(const CTemplateGroup& group);
    CSubTemplate* Shortcut() const;
    void ResetTree();
    int Walk(CRawImage& working, const ClassificationContext& context, CSubTemplate*& result);
    // Position of the chosen child or -1; byDefault tells whether it is the
    // default branch (no child passed with a positive score).
    int32_t ChooseChild(const CTemplateGroup& current, bool& byDefault) const;
};

}  // namespace libMorvaneClassifier
