// --report FILE.html of morvane-classify: one self-contained page for a
// batch. Each worker leaves a small facts file beside the page's overlay
// (score, margin, time, decision tree); the parent gathers them with the
// page results and writes the page at the end.
#pragma once
#include <string>
#include <vector>

namespace morvane_cli {

struct ReportFacts {
    int score = -1;      // the chosen child's total at the last level decided by score; -1: none
    int margin = -1;     // that total minus the best other compared child's; -1: no competitor
    double seconds = 0;  // time spent classifying the page
    std::string tree;    // the decision trace as text for people
};

// Score and margin of the last level decided by score, read from the JSON
// decision trace. False when the text is not such a trace or no level was
// decided by score.
bool ScoreAndMargin(const std::string& traceJson, int& score, int& margin);

bool WriteFacts(const std::string& path, const ReportFacts& facts);
bool ReadFacts(const std::string& path, ReportFacts& facts);

struct ReportRow {
    std::string page;
    std::string id, name;  // empty when the page failed
    int code = 0;
    std::string message;     // the error message when code != 0
    std::string resolution;  // how the page's resolution was set
    std::string overlayPng;  // path of the page's overlay picture (may be missing)
    ReportFacts facts;
};

// Margins below this mark a page "low margin" (listed first after failures).
constexpr int kLowMargin = 50;

// Writes the page: rows ordered failed first, then low margin, then by path;
// pictures embedded as data URIs. False when the file cannot be written.
bool WriteHtmlReport(const std::string& file, std::vector<ReportRow> rows);

}  // namespace morvane_cli
