#include "api/DecisionTrace.h"

#include <algorithm>
#include <cstdio>

#include "core/JsonText.h"
#include "core/TextConv.h"
#include "templates/SubTemplate.h"
#include "templates/TemplateGroup.h"

namespace libMorvaneClassifier {

namespace {

void AppendKey(std::string& out, const char* key) {
    out.push_back('"');
    out += key;
    out += "\":";
}

void AppendInt(std::string& out, const char* key, int64_t v) {
    AppendKey(out, key);
    out += std::to_string(v);
}

void AppendBool(std::string& out, const char* key, bool v) {
    AppendKey(out, key);
    out += v ? "true" : "false";
}

const char* ChoiceName(ChoiceBy by) {
    switch (by) {
        case ChoiceBy::kFinal:
            return "final";
        case ChoiceBy::kScore:
            return "score";
        case ChoiceBy::kDefault:
            return "default";
        case ChoiceBy::kNone:
            return "none";
        case ChoiceBy::kNoFilters:
            return "no-filters";
    }
    return "none";
}

const char* ProcessName(int32_t processType) {
    if (processType == 0) return "threshold";
    if (processType == 1) return "weight";
    return "discarded";
}

}  // namespace

void DecisionTrace::Begin(int32_t entryIndex) {
    entry = entryIndex;
    code = 0;
    shortcut = false;
    resultId.clear();
    resultName.clear();
    resultOutputId.clear();
    hasResult = false;
    resolutionX = resolutionY = 0;
    resolutionSource = ResolutionSource::kTemplate;
    levels.clear();
    filterSlot_ = 0;
}

const char* ResolutionSourceName(ResolutionSource source) {
    switch (source) {
        case ResolutionSource::kFile:
            return "file";
        case ResolutionSource::kOption:
            return "option";
        default:
            return "template";
    }
}

DecisionMargin DecisionTrace::Margin() const {
    DecisionMargin m;
    for (size_t li = 0; li < levels.size(); ++li) {
        const TraceLevel& l = levels[li];
        if (l.by != ChoiceBy::kScore || l.chosen < 0 || static_cast<size_t>(l.chosen) >= l.children.size())
            continue;
        const int32_t best = l.children[static_cast<size_t>(l.chosen)].total;
        int32_t runnerUp = 0;
        for (size_t ci = 0; ci < l.children.size(); ++ci) {
            const TraceChild& c = l.children[ci];
            if (static_cast<int32_t>(ci) == l.chosen || !c.valid) continue;
            runnerUp = std::max(runnerUp, c.total);
        }
        m.known = true;
        m.level = static_cast<int32_t>(li);
        m.score = best;
        m.margin = best - runnerUp;
    }
    return m;
}

TraceLevel& DecisionTrace::OpenLevel(const CTemplateGroup& group) {
    levels.emplace_back();
    TraceLevel& level = levels.back();
    level.groupIndex = group.index;
    level.name = group.name;
    if (group.attached) level.templateId = group.attached->id;
    filterSlot_ = 0;
    return level;
}

void DecisionTrace::BeginFilter(const TraceFilter& filter) {
    if (levels.empty()) return;
    TraceLevel& level = levels.back();
    filterSlot_ = level.filters.size();
    level.filters.push_back(filter);
    for (TraceChild& c : level.children) c.cells.emplace_back();
}

void DecisionTrace::EndFilter(const CTemplateGroup& group, int32_t result) {
    if (levels.empty()) return;
    TraceLevel& level = levels.back();
    if (level.filters.empty()) return;
    level.filters.back().code = result;
    for (TraceChild& c : level.children) {
        const CTemplateGroup* child = group.Child(c.index);
        if (!child || !child->score || c.cells.empty()) continue;
        c.cells.back().total = child->score->score;
        c.cells.back().passed = child->score->passed;
    }
}

void DecisionTrace::OnScore(int32_t childIndex, int32_t raw, const FilterScore& merged) {
    if (levels.empty()) return;
    TraceLevel& level = levels.back();
    if (childIndex < 0 || static_cast<size_t>(childIndex) >= level.children.size()) return;
    TraceChild& c = level.children[static_cast<size_t>(childIndex)];
    if (c.cells.size() <= filterSlot_) return;
    TraceCell& cell = c.cells[filterSlot_];
    cell.compared = true;
    cell.raw = raw;
    cell.total = merged.score;
    cell.passed = merged.passed;
}

void DecisionTrace::OnNote(int32_t childIndex, const std::string& json) {
    if (levels.empty() || json.empty()) return;
    TraceLevel& level = levels.back();
    if (childIndex < 0 || static_cast<size_t>(childIndex) >= level.children.size()) return;
    auto& notes = level.children[static_cast<size_t>(childIndex)].notes;
    for (auto& note : notes) {
        if (note.first != "notes" || note.second.empty()) continue;
        note.second.pop_back();  // the closing bracket
        note.second += "," + json + "]";
        return;
    }
    notes.emplace_back("notes", "[" + json + "]");
}

bool DecisionTrace::TookDefault() const {
    if (shortcut) return !hasResult;
    if (!hasResult || code != 0) return true;
    for (const TraceLevel& l : levels)
        if (l.by != ChoiceBy::kScore && l.by != ChoiceBy::kFinal) return true;
    return false;
}

int32_t DecisionTrace::ScoredDepth() const {
    int32_t depth = 0;
    for (const TraceLevel& l : levels) {
        if (l.by != ChoiceBy::kScore) break;
        ++depth;
    }
    return depth;
}

std::string DecisionTrace::ToJson() const {
    std::string out;
    out.reserve(512 + levels.size() * 512);
    out.push_back('{');
    AppendInt(out, "template", entry);
    out.push_back(',');
    AppendInt(out, "code", code);
    out.push_back(',');
    AppendKey(out, "result");
    if (hasResult) {
        out += "{\"id\":";
        AppendJsonString(out, resultId);
        out += ",\"name\":";
        AppendJsonString(out, resultName);
        out += ",\"outputId\":";
        AppendJsonString(out, resultOutputId);
        out.push_back('}');
    } else {
        out += "null";
    }
    out.push_back(',');
    AppendBool(out, "shortcut", shortcut);
    out.push_back(',');
    AppendKey(out, "orientation");
    out += "{";
    AppendBool(out, "searched", orientationSearched);
    out.push_back(',');
    AppendInt(out, "turn", turn);
    out += ",\"tried\":[";
    for (size_t i = 0; i < turnsTried.size(); ++i) {
        if (i) out.push_back(',');
        out += std::to_string(turnsTried[i]);
    }
    out += "]},\"resolution\":{";
    AppendInt(out, "x", resolutionX);
    out.push_back(',');
    AppendInt(out, "y", resolutionY);
    out += ",\"source\":\"";
    out += ResolutionSourceName(resolutionSource);
    out += "\"},\"decision\":";
    const DecisionMargin margin = Margin();
    if (margin.known) {
        out.push_back('{');
        AppendInt(out, "level", margin.level);
        out.push_back(',');
        AppendInt(out, "score", margin.score);
        out.push_back(',');
        AppendInt(out, "margin", margin.margin);
        out.push_back('}');
    } else {
        out += "null";
    }
    out += ",\"levels\":[";
    for (size_t li = 0; li < levels.size(); ++li) {
        const TraceLevel& l = levels[li];
        if (li) out.push_back(',');
        out += "{\"group\":{";
        AppendInt(out, "index", l.groupIndex);
        out += ",\"name\":";
        AppendJsonString(out, l.name);
        out += ",\"template\":";
        AppendJsonString(out, l.templateId);
        out += "},\"filters\":[";
        for (size_t fi = 0; fi < l.filters.size(); ++fi) {
            const TraceFilter& f = l.filters[fi];
            if (fi) out.push_back(',');
            out.push_back('{');
            AppendInt(out, "filter", f.refFilter);
            out.push_back(',');
            AppendBool(out, "found", f.found);
            out += ",\"name\":";
            AppendJsonString(out, f.name);
            out.push_back(',');
            AppendInt(out, "type", f.type);
            out += ",\"process\":\"";
            out += ProcessName(f.processType);
            out += "\",";
            AppendInt(out, "threshold", f.threshold);
            out.push_back(',');
            AppendInt(out, "weight", f.weight);
            out.push_back(',');
            AppendInt(out, "code", f.code);
            if (!f.detail.empty()) {
                out += ",\"detail\":";
                AppendJsonString(out, f.detail);
            }
            out.push_back('}');
        }
        out += "],\"children\":[";
        for (size_t ci = 0; ci < l.children.size(); ++ci) {
            const TraceChild& c = l.children[ci];
            if (ci) out.push_back(',');
            out.push_back('{');
            AppendInt(out, "child", c.index);
            out.push_back(',');
            AppendInt(out, "group", c.groupIndex);
            out += ",\"name\":";
            AppendJsonString(out, c.name);
            out += ",\"template\":";
            AppendJsonString(out, c.templateId);
            out.push_back(',');
            AppendInt(out, "action", c.action);
            out.push_back(',');
            AppendBool(out, "valid", c.valid);
            out += ",\"scores\":[";
            for (size_t k = 0; k < c.cells.size(); ++k) {
                const TraceCell& cell = c.cells[k];
                if (k) out.push_back(',');
                out.push_back('{');
                AppendInt(out, "filter", k < l.filters.size() ? l.filters[k].refFilter : -1);
                out.push_back(',');
                AppendBool(out, "compared", cell.compared);
                if (cell.compared) {
                    out.push_back(',');
                    AppendInt(out, "score", cell.raw);
                }
                out.push_back(',');
                AppendInt(out, "total", cell.total);
                out.push_back(',');
                AppendBool(out, "passed", cell.passed);
                out.push_back('}');
            }
            out += "],";
            AppendInt(out, "total", c.total);
            out.push_back(',');
            AppendBool(out, "passed", c.passed);
            for (const auto& note : c.notes) {
                out.push_back(',');
                AppendJsonString(out, note.first);
                out.push_back(':');
                out += note.second;
            }
            out.push_back('}');
        }
        out += "],\"choice\":{\"by\":\"";
        out += ChoiceName(l.by);
        out += "\"";
        if (l.chosen >= 0 && static_cast<size_t>(l.chosen) < l.children.size()) {
            out.push_back(',');
            AppendInt(out, "child", l.chosen);
            out += ",\"name\":";
            AppendJsonString(out, l.children[static_cast<size_t>(l.chosen)].name);
        }
        out += "}}";
    }
    out += "]}";
    return out;
}

}  // namespace libMorvaneClassifier
