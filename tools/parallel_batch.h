// Parallel batch runs of morvane-classify.
//
// The library keeps one classifier per process and is not thread-safe, so a
// batch is spread over forked worker processes. The caller loads the library
// and its templates once; every worker inherits that state through fork().
// The parent hands out one page at a time to whichever worker is idle (a
// shared queue, so one slow page does not hold back the pages behind it),
// collects the results and hands them back in input order. A worker that dies
// (signal, out-of-memory kill) or overruns the per-page time limit costs only
// its page: that page is reported as failed and a fresh worker takes its
// place.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace morvane_cli {

// The outcome of one page. code is 0 when a sub-template was found, the
// library's result code when not, and kWorkerLost when the worker classifying
// the page died or was stopped; message then says how.
struct PageResult {
    int code = 0;
    std::string id, name, outputId;
    std::string message;
    std::string turn, trace;  // --orient and --explain: the kept turn and the decision trace
    std::string text, mrz;    // --text: the recognised lines (JSON with --json); --mrz: the zone read (JSON)
    std::string detail;       // why the page failed, when the library says more than the code
    // The resolution the page was measured with and its source ("" when not
    // known), and the winning score with its margin at the deciding level
    // (-1 when no level was decided by score).
    int resolutionX = 0, resolutionY = 0;
    std::string resolutionSource;
    int score = -1, margin = -1;
};

// Largest result record a worker sends the parent. A page whose texts would
// not fit has its decision trace (then its recognised text) replaced by a
// marker object {"truncated":true,"bytes":N} naming the size it had.
constexpr size_t kMaxResultRecord = 64u << 20;

// Cuts the texts of r so that its record fits `limit` bytes (see above).
void FitResult(PageResult& r, size_t limit = kMaxResultRecord);

// Result code of a page whose worker died or overran the time limit (the
// library's "Undefined error").
constexpr int kWorkerLost = -63;

// Most worker processes one batch starts; larger --jobs values are lowered to
// this (each worker holds a copy of the loaded templates).
constexpr int kMaxJobs = 256;

struct BatchSettings {
    int jobs = 0;              // worker processes; 0: one per available core
    int timeoutSeconds = 600;  // per page; 0: no limit
};

// Number of cores this process may run on (at least 1).
int AvailableCores();

// Worker processes a batch of `pages` pages runs side by side (at least 1).
size_t WorkerCount(const BatchSettings& settings, size_t pages);

// Parses the batch options at argv[i] ("--jobs N", "-j N", "--jobs=N",
// "--page-timeout S", "--page-timeout=S"). Returns 1 when the option was
// taken (i then points at its last word), 0 when argv[i] is not a batch
// option, -1 after printing a message for a bad value.
int ParseBatchOption(int argc, char** argv, int& i, BatchSettings& settings);

// Usage lines for the batch options.
extern const char kBatchUsage[];

using ClassifyPage = std::function<PageResult(const std::string& page)>;
using EmitPage = std::function<void(size_t index, const PageResult& result)>;
using ShowProgress = std::function<void(size_t done, size_t total)>;

// Classifies every page with `classify` inside worker processes. `emit` runs
// in the calling process once per page, in input order; `progress` runs after
// each finished page (in completion order) with the count of finished pages.
// Every page is emitted exactly once, whatever happens to the workers.
void RunBatch(const std::vector<std::string>& pages, const BatchSettings& settings,
              const ClassifyPage& classify, const EmitPage& emit, const ShowProgress& progress);

}  // namespace morvane_cli
