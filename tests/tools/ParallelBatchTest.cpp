// The worker processes behind morvane-classify --jobs: every page emitted
// once, in input order, whatever happens to the workers.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "parallel_batch.h"

namespace {

using morvane_cli::PageResult;

// Classifies by page name: "ok..." succeeds with the name as ID; "kill"
// dies by SIGKILL, "exit" exits with status 7, "hang" never answers,
// "nomem" throws std::bad_alloc, "fail" is a library failure (-8).
PageResult FakeClassify(const std::string& page) {
    PageResult r;
    if (page.rfind("ok", 0) == 0) {
        r.id = page;
        r.name = "name of " + page;
        r.outputId = std::string(3000, 'x');  // longer than one pipe read
    } else if (page == "bigtrace") {
        // A decision trace far over the old 1 MiB record, with every field
        // of the result filled.
        r.id = "BIG";
        r.trace = "{\"levels\":[" + std::string(5u << 20, ' ') + "]}";
        r.detail = "why";
        r.resolutionX = 200;
        r.resolutionY = 400;
        r.resolutionSource = "file";
        r.score = 900;
        r.margin = 12;
    } else if (page == "kill") {
        raise(SIGKILL);
    } else if (page == "exit") {
        _exit(7);
    } else if (page == "hang") {
        for (;;) pause();
    } else if (page == "nomem") {
        throw std::bad_alloc();
    } else {
        r.code = -8;
        r.message = "Failed to classify image";
    }
    return r;
}

struct BatchRun {
    std::vector<size_t> order;
    std::vector<PageResult> results;
    std::vector<size_t> progress;
};

BatchRun RunPages(const std::vector<std::string>& pages, int jobs, int timeout) {
    BatchRun run;
    morvane_cli::BatchSettings settings;
    settings.jobs = jobs;
    settings.timeoutSeconds = timeout;
    morvane_cli::RunBatch(
        pages, settings, FakeClassify,
        [&](size_t index, const PageResult& r) {
            run.order.push_back(index);
            run.results.push_back(r);
        },
        [&](size_t done, size_t total) {
            EXPECT_EQ(total, pages.size());
            run.progress.push_back(done);
        });
    return run;
}

class ParallelBatch : public ::testing::TestWithParam<int> {};

TEST_P(ParallelBatch, EveryPageOnceInOrderWhateverTheWorkersDo) {
    const std::vector<std::string> pages = {"ok-a",  "kill", "ok-b", "exit", "fail", "hang",
                                            "nomem", "ok-c", "kill", "ok-d", "ok-e", "ok-f"};
    const BatchRun run = RunPages(pages, GetParam(), 1);
    ASSERT_EQ(run.order.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(run.order[i], i);
    ASSERT_EQ(run.progress.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(run.progress[i], i + 1);

    struct Expected {
        int code;
        const char* message;
    };
    const Expected expected[] = {
        {0, ""},
        {-63, "worker process killed by signal 9 (Killed)"},
        {0, ""},
        {-63, "worker process exited with status 7"},
        {-8, "Failed to classify image"},
        {-63, "page took longer than 1 s; its worker process was stopped"},
        {-62, "Not enough memory"},
        {0, ""},
        {-63, "worker process killed by signal 9 (Killed)"},
        {0, ""},
        {0, ""},
        {0, ""},
    };
    for (size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(pages[i]);
        EXPECT_EQ(run.results[i].code, expected[i].code);
        EXPECT_EQ(run.results[i].message, expected[i].message);
        if (expected[i].code == 0) {
            EXPECT_EQ(run.results[i].id, pages[i]);
            EXPECT_EQ(run.results[i].name, "name of " + pages[i]);
            EXPECT_EQ(run.results[i].outputId, std::string(3000, 'x'));
        }
    }
}

TEST_P(ParallelBatch, ManyPagesFewerWorkersThanPagesAndMoreWorkersThanPages) {
    std::vector<std::string> pages;
    for (int i = 0; i < 150; ++i) pages.push_back(i % 50 == 49 ? "kill" : "ok" + std::to_string(i));
    const BatchRun run = RunPages(pages, GetParam(), 0);
    ASSERT_EQ(run.results.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(run.order[i], i);
        EXPECT_EQ(run.results[i].code, pages[i] == "kill" ? -63 : 0) << pages[i];
        if (pages[i] != "kill") {
            EXPECT_EQ(run.results[i].id, pages[i]);
        }
    }
    const BatchRun few = RunPages({"ok1", "ok2"}, GetParam() * 50, 0);
    ASSERT_EQ(few.results.size(), 2u);
    EXPECT_EQ(few.results[1].id, "ok2");
}

INSTANTIATE_TEST_SUITE_P(Jobs, ParallelBatch, ::testing::Values(1, 2, 3));

// Large results cross the worker boundary whole, with every field.
TEST(ParallelBatchRecords, LargeTracesArriveWhole) {
    const BatchRun run = RunPages({"bigtrace", "ok-a", "bigtrace"}, 2, 60);
    ASSERT_EQ(run.results.size(), 3u);
    const PageResult expected = FakeClassify("bigtrace");
    for (size_t i : {0u, 2u}) {
        const PageResult& r = run.results[i];
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.id, "BIG");
        EXPECT_EQ(r.trace, expected.trace);
        EXPECT_EQ(r.detail, "why");
        EXPECT_EQ(r.resolutionX, 200);
        EXPECT_EQ(r.resolutionY, 400);
        EXPECT_EQ(r.resolutionSource, "file");
        EXPECT_EQ(r.score, 900);
        EXPECT_EQ(r.margin, 12);
    }
    EXPECT_EQ(run.results[1].id, "ok-a");
}

// A result over the record limit keeps its answer; its largest texts are
// replaced by a marker that is still JSON and names their size.
TEST(ParallelBatchRecords, OversizedTextsAreCutWithAMarker) {
    PageResult r = FakeClassify("bigtrace");
    r.text = std::string(1000, 't');
    const size_t traceBytes = r.trace.size();
    morvane_cli::FitResult(r, 4096);
    EXPECT_EQ(r.trace, "{\"truncated\":true,\"bytes\":" + std::to_string(traceBytes) + "}");
    EXPECT_EQ(r.text, std::string(1000, 't'));  // fits once the trace is cut
    EXPECT_EQ(r.id, "BIG");
    morvane_cli::FitResult(r, 300);
    EXPECT_EQ(r.text, "{\"truncated\":true,\"bytes\":1000}");
    // A result that fits is left alone.
    PageResult small = FakeClassify("ok-a");
    const std::string before = small.outputId;
    morvane_cli::FitResult(small);
    EXPECT_EQ(small.outputId, before);
}

TEST(ParallelBatchOptions, ValuesAreCheckedAndHugeJobCountsLowered) {
    struct Case {
        std::vector<std::string> args;
        int taken;
        int jobs;
        int timeout;
    };
    const Case cases[] = {
        {{"--jobs", "4"}, 1, 4, 600},
        {{"-j", "2"}, 1, 2, 600},
        {{"--jobs=3"}, 1, 3, 600},
        {{"--jobs", "100000"}, 1, morvane_cli::kMaxJobs, 600},
        {{"--jobs", "0"}, -1, 0, 600},
        {{"--jobs", "-1"}, -1, 0, 600},
        {{"--jobs", "2x"}, -1, 0, 600},
        {{"--jobs", ""}, -1, 0, 600},
        {{"--jobs"}, -1, 0, 600},
        {{"--jobs", "99999999999999999999"}, -1, 0, 600},
        {{"--page-timeout", "5"}, 1, 0, 5},
        {{"--page-timeout=0"}, 1, 0, 0},
        {{"--page-timeout", "-1"}, -1, 0, 600},
        {{"--json"}, 0, 0, 600},
        {{"-j=2"}, 0, 0, 600},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words = {"morvane-classify"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        std::vector<char*> argv;
        for (auto& w : words) argv.push_back(&w[0]);
        int i = 1;
        morvane_cli::BatchSettings s;
        ::testing::internal::CaptureStderr();
        const int taken = morvane_cli::ParseBatchOption(static_cast<int>(argv.size()), argv.data(), i, s);
        const std::string err = ::testing::internal::GetCapturedStderr();
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        EXPECT_EQ(taken, c.taken);
        EXPECT_EQ(s.jobs, c.jobs);
        EXPECT_EQ(s.timeoutSeconds, c.timeout);
        EXPECT_EQ(err.empty(), c.taken == 0 || (c.taken == 1 && c.jobs != morvane_cli::kMaxJobs)) << err;
        if (taken == 1) {
            EXPECT_EQ(i, static_cast<int>(argv.size()) - 1);
        }
    }
}

}  // namespace
