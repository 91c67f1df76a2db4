#include "api/DecisionTraceText.h"

#include <cstdio>

#include "core/TextConv.h"

namespace libMorvaneClassifier {
namespace {

std::string Name(const std::u16string& s) {
    std::string out = Utf16ToUtf8(s);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

const char* KindName(int32_t type) {
    switch (type) {
        case 1:
            return "size";
        case 2:
            return "grid";
        case 3:
            return "frame lines";
        case 4:
            return "text";
        default:
            return "unknown kind";
    }
}

const char* ChoiceText(ChoiceBy by) {
    switch (by) {
        case ChoiceBy::kFinal:
            return "final: this group's sub-template is the answer";
        case ChoiceBy::kScore:
            return "chosen by score";
        case ChoiceBy::kDefault:
            return "no child passed: default branch taken";
        case ChoiceBy::kNone:
            return "no child passed and there is no default branch";
        case ChoiceBy::kNoFilters:
            return "the group names no filter";
    }
    return "";
}

}  // namespace

std::string DecisionTraceText(const DecisionTrace& trace) {
    std::string out;
    char buf[64];
    if (trace.hasResult)
        out += "result: " + Name(trace.resultId) + " \"" + Name(trace.resultName) + "\" (output ID " +
               Name(trace.resultOutputId) + ")";
    else
        out += "result: none";
    out += ", code " + std::to_string(trace.code);
    if (trace.shortcut) out += ", answered from the single valid ID";
    out += "\n";
    if (trace.orientationSearched) {
        out += "orientation: turned " + std::to_string(trace.turn) + " degrees (tried";
        for (int32_t t : trace.turnsTried) out += " " + std::to_string(t);
        out += ")\n";
    }
    for (size_t li = 0; li < trace.levels.size(); ++li) {
        const TraceLevel& l = trace.levels[li];
        const std::string indent(li * 4, ' ');
        out += indent + "[" + std::to_string(l.groupIndex) + "] " + Name(l.name);
        if (!l.templateId.empty()) out += " (" + Name(l.templateId) + ")";
        out += ": ";
        out += ChoiceText(l.by);
        out += "\n";
        for (const TraceFilter& f : l.filters) {
            out += indent + "  filter " + std::to_string(f.refFilter) + " \"" + Name(f.name) + "\" (" +
                   KindName(f.type) + "), ";
            out += f.processType == 0   ? "passes above " + std::to_string(f.threshold)
                   : f.processType == 1 ? "weight " + std::to_string(f.weight)
                                        : std::string("scores discarded");
            if (!f.found) out += ", missing from the filter template";
            if (f.code != 0) out += ", failed with code " + std::to_string(f.code);
            out += "\n";
        }
        for (size_t ci = 0; ci < l.children.size(); ++ci) {
            const TraceChild& c = l.children[ci];
            const bool chosen = static_cast<int32_t>(ci) == l.chosen;
            out += indent + (chosen ? "  * " : "    ") + Name(c.name);
            if (!c.templateId.empty()) out += " [" + Name(c.templateId) + "]";
            if (c.action == 0) {
                out += " default branch";
            } else if (!c.valid) {
                out += " not valid";
            } else {
                std::snprintf(buf, sizeof buf, " %d %s", c.total, c.passed ? "passed" : "failed");
                out += buf;
                std::string cells;
                for (size_t k = 0; k < c.cells.size() && k < l.filters.size(); ++k) {
                    if (!c.cells[k].compared) continue;
                    std::snprintf(buf, sizeof buf, "%s%d %d%s", cells.empty() ? "" : ", ",
                                  l.filters[k].refFilter, c.cells[k].raw,
                                  c.cells[k].passed ? "" : " (failed)");
                    cells += buf;
                }
                if (!cells.empty()) out += " (filter score: " + cells + ")";
            }
            out += "\n";
            for (const auto& note : c.notes)
                out += indent + "      " + note.first + ": " + note.second + "\n";
        }
    }
    return out;
}

}  // namespace libMorvaneClassifier
