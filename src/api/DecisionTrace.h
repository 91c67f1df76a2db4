// The record of one classification's walk through the template tree: per
// level the group, the filters run there with the threshold or weight they
// applied, every child with its score per filter, and how the next group was
// chosen. The driver fills it as it goes (a few small vectors per level, no
// image work); it is turned into JSON text only when the host asks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "templates/FilterScore.h"

namespace libMorvaneClassifier {

// One filter's verdict on one child.
struct TraceCell {
    bool compared = false;  // the filter compared this child with its reference
    int32_t raw = 0;        // the compared score (0 to 1000)
    int32_t total = 0;      // the child's record after this filter
    bool passed = true;
};

struct TraceChild {
    int32_t index = 0;       // position among the group's children
    int32_t groupIndex = 0;  // the group's own "Index"
    std::u16string name;
    int32_t action = 1;
    bool valid = true;
    std::u16string templateId;     // ID of the attached sub-template, if any
    std::vector<TraceCell> cells;  // one per filter run at the level, in order
    int32_t total = 0;
    bool passed = true;
    // Extra facts about this child that a filter may report (for instance the
    // text a text filter recognised), as key and JSON value text.
    std::vector<std::pair<std::string, std::string>> notes;
};

struct TraceFilter {
    int32_t refFilter = 0;
    bool found = false;  // a filter with that index exists
    std::u16string name;
    int32_t type = 0;
    int32_t processType = 0;
    int32_t threshold = 0;
    int32_t weight = 0;
    int32_t code = 0;    // what its Classify returned
    std::string detail;  // why it failed, when that failed the page (UTF-8)
};

enum class ChoiceBy : int32_t {
    kFinal = 0,      // no valid children: this group's sub-template is the answer
    kScore = 1,      // the best passing score chose the child
    kDefault = 2,    // no child passed: the default branch (action 0) was taken
    kNone = 3,       // no child passed and there is no default branch
    kNoFilters = 4,  // the group has children but names no filter
};

struct TraceLevel {
    int32_t groupIndex = 0;
    std::u16string name;
    std::u16string templateId;
    std::vector<TraceFilter> filters;
    std::vector<TraceChild> children;
    ChoiceBy by = ChoiceBy::kFinal;
    int32_t chosen = -1;  // position of the chosen child
};

// Where the resolution a page was measured with came from: the host's
// run-time setting, the density its file states, or the size filter's own.
enum class ResolutionSource : int32_t { kTemplate = 0, kFile = 1, kOption = 2 };
const char* ResolutionSourceName(ResolutionSource source);

// How sure the walk was: at the deepest level decided by score, the chosen
// child's record and its lead over the best other child there.
struct DecisionMargin {
    bool known = false;  // some level was decided by score
    int32_t level = -1;
    int32_t score = 0;
    int32_t margin = 0;  // the whole score when no other child scored
};

class DecisionTrace : public ScoreObserver {
public:
    // Starts a new record for a run on main template `entryIndex`.
    void Begin(int32_t entryIndex);
    // Opens the level of a group and lists its children.
    TraceLevel& OpenLevel(const class CTemplateGroup& group);
    // Before / after one filter of the current level.
    void BeginFilter(const TraceFilter& filter);
    void EndFilter(const class CTemplateGroup& group, int32_t code);
    void OnScore(int32_t childIndex, int32_t raw, const FilterScore& merged) override;
    // A filter's note on a child of the current level: gathered in the
    // child's "notes" array, one entry per filter that noted.
    void OnNote(int32_t childIndex, const std::string& json) override;

    // Whether the walk took a default branch or found nothing, and how many
    // levels from the root were decided by score before that.
    bool TookDefault() const;
    int32_t ScoredDepth() const;
    DecisionMargin Margin() const;

    // The record as one JSON object (UTF-8).
    std::string ToJson() const;

    int32_t entry = -1;
    int32_t code = 0;         // the classification's result code
    bool shortcut = false;    // answered from the host's single valid ID
    std::u16string resultId;  // the answer's ID, Name and OutputID
    std::u16string resultName;
    std::u16string resultOutputId;
    bool hasResult = false;
    // Orientation search: whether it ran, the turns tried (degrees
    // clockwise) and the turn kept.
    bool orientationSearched = false;
    std::vector<int32_t> turnsTried;
    int32_t turn = 0;
    // The resolution the page was measured with (dots per inch; 0 when the
    // walk met no size filter to give its own) and where it came from.
    int32_t resolutionX = 0;
    int32_t resolutionY = 0;
    ResolutionSource resolutionSource = ResolutionSource::kTemplate;
    std::vector<TraceLevel> levels;

private:
    size_t filterSlot_ = 0;
};

}  // namespace libMorvaneClassifier
