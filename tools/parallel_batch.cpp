// Parallel batch runs of morvane-classify: forked workers fed page by page.
#include "parallel_batch.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace morvane_cli {

const char kBatchUsage[] =
    "  -j, --jobs N   worker processes classifying pages side by side (default: one per\n"
    "                 core; at most 256). Output keeps the order of the pages.\n"
    "  --page-timeout S  stop a worker that spends more than S seconds on one page and\n"
    "                 report the page as failed (default 600; 0: no limit)\n";

namespace {

constexpr int kMaxTimeoutSeconds = 7 * 24 * 3600;

// The mmap threshold of a worker's malloc (see WorkerMain). Blocks at or
// above it are mapped afresh and unmapped when freed, so every page faults
// them in again. OpenJPEG keeps each colour component of a decoded page in
// one block of 4 bytes a pixel: 34.8 MB for A4 at 300 dpi, just above the
// 32 MiB this used to be. Measured on six A4 300-dpi colour J2K pages with
// --jobs 1 (scripts/bench-batch.sh makes such pages): at 32 MiB 117,000
// page faults and 4.7-5.2 s of CPU; at 40, 64 or 128 MiB 43,000 faults and
// 3.2-3.6 s, peak resident memory unchanged (145 MB). 64 MiB also keeps the
// components of A4 at 400 dpi (61.9 MB) and US legal at 300 dpi.
constexpr long kWorkerMmapThresholdMiB = 64;

bool ParseWhole(const char* text, long low, long high, long& value) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') return false;
    if (v < low || v > high) return false;
    value = v;
    return true;
}

// ---- Blocking pipe I/O (retries short transfers and interrupted calls) ----

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// ---- Result records sent from a worker to the parent ----
// uint32 payload size, then int32 page index, int32 code, nine texts
// (uint32 length + bytes): id, name, outputId, message, turn, trace, text,
// mrz, detail; then int32 resolution x and y, the text resolution source,
// int32 score and margin.

void PutU32(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), sizeof(v)); }

void PutText(std::string& out, const std::string& s) {
    PutU32(out, static_cast<uint32_t>(s.size()));
    out += s;
}

std::string EncodeResult(uint32_t index, const PageResult& r) {
    std::string payload;
    PutU32(payload, index);
    PutU32(payload, static_cast<uint32_t>(r.code));
    PutText(payload, r.id);
    PutText(payload, r.name);
    PutText(payload, r.outputId);
    PutText(payload, r.message);
    PutText(payload, r.turn);
    PutText(payload, r.trace);
    PutText(payload, r.text);
    PutText(payload, r.mrz);
    PutText(payload, r.detail);
    PutU32(payload, static_cast<uint32_t>(r.resolutionX));
    PutU32(payload, static_cast<uint32_t>(r.resolutionY));
    PutText(payload, r.resolutionSource);
    PutU32(payload, static_cast<uint32_t>(r.score));
    PutU32(payload, static_cast<uint32_t>(r.margin));
    std::string record;
    PutU32(record, static_cast<uint32_t>(payload.size()));
    return record + payload;
}

class Reader {
public:
    Reader(const char* p, size_t n) : p_(p), end_(p + n) {}
    bool U32(uint32_t& v) {
        if (static_cast<size_t>(end_ - p_) < sizeof(v)) return false;
        std::memcpy(&v, p_, sizeof(v));
        p_ += sizeof(v);
        return true;
    }
    bool Text(std::string& s) {
        uint32_t n = 0;
        if (!U32(n) || static_cast<size_t>(end_ - p_) < n) return false;
        s.assign(p_, n);
        p_ += n;
        return true;
    }
    bool AtEnd() const { return p_ == end_; }

private:
    const char* p_;
    const char* end_;
};

bool DecodeResult(const char* data, size_t size, uint32_t& index, PageResult& r) {
    Reader in(data, size);
    uint32_t code = 0, x = 0, y = 0, score = 0, margin = 0;
    const bool ok = in.U32(index) && in.U32(code) && in.Text(r.id) && in.Text(r.name) &&
                    in.Text(r.outputId) && in.Text(r.message) && in.Text(r.turn) && in.Text(r.trace) &&
                    in.Text(r.text) && in.Text(r.mrz) && in.Text(r.detail) && in.U32(x) && in.U32(y) &&
                    in.Text(r.resolutionSource) && in.U32(score) && in.U32(margin) && in.AtEnd();
    r.code = static_cast<int32_t>(code);
    r.resolutionX = static_cast<int32_t>(x);
    r.resolutionY = static_cast<int32_t>(y);
    r.score = static_cast<int32_t>(score);
    r.margin = static_cast<int32_t>(margin);
    return ok;
}

// Largest record the parent accepts: workers cut their records to fit it
// (FitResult), so anything bigger means the stream is corrupt.
constexpr uint32_t kMaxRecord = static_cast<uint32_t>(kMaxResultRecord);

// The marker a cut text is replaced by: still a JSON object.
std::string CutMarker(size_t bytes) { return "{\"truncated\":true,\"bytes\":" + std::to_string(bytes) + "}"; }

}  // namespace

void FitResult(PageResult& r, size_t limit) {
    // Record overhead: size, index, code, nine text lengths, four numbers,
    // and room for the markers.
    const size_t overhead = 4 * 16 + 2 * 64;
    auto size = [&] {
        return overhead + r.id.size() + r.name.size() + r.outputId.size() + r.message.size() + r.turn.size() +
               r.trace.size() + r.text.size() + r.mrz.size() + r.detail.size() + r.resolutionSource.size();
    };
    // The largest texts go first: the trace, then the recognised text and the
    // zone; names and messages are short.
    for (std::string* t : {&r.trace, &r.text, &r.mrz, &r.detail, &r.message}) {
        if (size() <= limit) return;
        if (t->empty()) continue;
        const size_t had = t->size();
        *t = (t == &r.detail || t == &r.message) ? std::string("(cut: " + std::to_string(had) + " bytes)")
                                                 : CutMarker(had);
    }
}

namespace {

// ---- Worker side ----

[[noreturn]] void WorkerMain(pid_t parent, int taskFd, int resultFd, const std::vector<std::string>& pages,
                             const ClassifyPage& classify) {
    // Go down with the parent instead of lingering when it is killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
#ifdef __GLIBC__
    // Keep freed page buffers for the next page instead of returning them to
    // the system and faulting them in again: a worker classifies page after
    // page of similar size, so its page-sized blocks (decoded page, gray and
    // binary copies, the decoder's buffers) are reused from the heap. (Set
    // in the worker only, after fork.)
    // MORVANE_MMAP_THRESHOLD_MIB replaces the mmap threshold (in MiB, 1 to
    // 1024) for measurements; the trim threshold stays four times it.
    long mib = kWorkerMmapThresholdMiB;
    ParseWhole(std::getenv("MORVANE_MMAP_THRESHOLD_MIB"), 1, 1024, mib);
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(mib << 20));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(std::min(4 * mib, 1024L) << 20));
#endif
    for (;;) {
        uint32_t index = 0;
        if (!ReadAll(taskFd, &index, sizeof(index))) _exit(0);  // no more pages
        if (index >= pages.size()) _exit(3);
        PageResult result;
        try {
            result = classify(pages[index]);
        } catch (const std::bad_alloc&) {
            result = PageResult{};
            result.code = -62;
            result.message = "Not enough memory";
        } catch (...) {
            result = PageResult{};
            result.code = kWorkerLost;
            result.message = "unexpected failure in the worker process";
        }
        FitResult(result);
        const std::string record = EncodeResult(index, result);
        if (!WriteAll(resultFd, record.data(), record.size())) _exit(1);
    }
}

// ---- Parent side ----

double Now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Worker {
    pid_t pid = -1;
    int taskFd = -1;    // parent writes page indexes
    int resultFd = -1;  // parent reads result records
    long page = -1;     // page in flight, -1 when idle
    double deadline = 0;
    std::string input;  // bytes received but not yet parsed
};

std::string DescribeStatus(int status) {
    char text[160];
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char* name = strsignal(sig);
        std::snprintf(text, sizeof(text), "worker process killed by signal %d (%s)", sig,
                      name ? name : "unknown");
    } else if (WIFEXITED(status)) {
        std::snprintf(text, sizeof(text), "worker process exited with status %d", WEXITSTATUS(status));
    } else {
        std::snprintf(text, sizeof(text), "worker process ended");
    }
    return text;
}

class Batch {
public:
    Batch(const std::vector<std::string>& pages, const BatchSettings& settings, const ClassifyPage& classify,
          const EmitPage& emit, const ShowProgress& progress)
        : pages_(pages),
          classify_(classify),
          emit_(emit),
          progress_(progress),
          timeout_(settings.timeoutSeconds),
          results_(pages.size()),
          finished_(pages.size(), false) {
        jobs_ = WorkerCount(settings, pages.size());
    }

    void Run() {
        if (pages_.empty()) return;
        // A worker that dies must not take the parent with it when the parent
        // writes the next page index into its pipe.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        struct sigaction previous {};
        sigaction(SIGPIPE, &ignore, &previous);

        workers_.resize(jobs_);
        Replenish();
        while (done_ < pages_.size()) {
            if (!AnyAlive()) {
                // Every worker is gone and none could be started again.
                FailUndispatched("cannot start a worker process: " + lastStartError_);
                break;
            }
            Poll();
            EmitReady();
        }
        EmitReady();
        for (auto& w : workers_) Retire(w);
        workers_.clear();
        sigaction(SIGPIPE, &previous, nullptr);
    }

private:
    bool Start(Worker& worker, std::string& error) {
        int task[2], result[2];
        if (pipe2(task, O_CLOEXEC) != 0) {
            error = std::strerror(errno);
            lastStartError_ = error;
            return false;
        }
        if (pipe2(result, O_CLOEXEC) != 0) {
            error = std::strerror(errno);
            lastStartError_ = error;
            close(task[0]);
            close(task[1]);
            return false;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t parent = getpid();
        const pid_t pid = fork();
        if (pid < 0) {
            error = std::strerror(errno);
            lastStartError_ = error;
            close(task[0]);
            close(task[1]);
            close(result[0]);
            close(result[1]);
            return false;
        }
        if (pid == 0) {
            // The child keeps only its own ends: a sibling holding the write
            // end of another worker's task pipe would keep that worker from
            // ever seeing the end of its queue.
            for (const auto& w : workers_) {
                if (w.taskFd >= 0) close(w.taskFd);
                if (w.resultFd >= 0) close(w.resultFd);
            }
            close(task[1]);
            close(result[0]);
            WorkerMain(parent, task[0], result[1], pages_, classify_);
        }
        close(task[0]);
        close(result[1]);
        fcntl(result[0], F_SETFL, fcntl(result[0], F_GETFL) | O_NONBLOCK);
        worker.pid = pid;
        worker.taskFd = task[1];
        worker.resultFd = result[0];
        worker.page = -1;
        worker.input.clear();
        return true;
    }

    // Gives an idle worker the next page, or closes its queue when none is
    // left (the worker then exits).
    void Dispatch(Worker& w) {
        if (w.page >= 0 || w.taskFd < 0) return;
        if (next_ >= pages_.size()) {
            close(w.taskFd);
            w.taskFd = -1;
            return;
        }
        const uint32_t index = static_cast<uint32_t>(next_);
        if (!WriteAll(w.taskFd, &index, sizeof(index))) return;  // dead: noticed by its result pipe
        w.page = static_cast<long>(next_++);
        w.deadline = timeout_ > 0 ? Now() + timeout_ : 0;
    }

    void Finish(size_t index, PageResult result) {
        if (finished_[index]) return;
        results_[index] = std::move(result);
        finished_[index] = true;
        ++done_;
        if (progress_) progress_(done_, pages_.size());
    }

    void FailUndispatched(const std::string& message) {
        while (next_ < pages_.size()) {
            PageResult r;
            r.code = kWorkerLost;
            r.message = message;
            Finish(next_++, std::move(r));
        }
    }

    void EmitReady() {
        while (emitted_ < pages_.size() && finished_[emitted_]) {
            emit_(emitted_, results_[emitted_]);
            results_[emitted_] = PageResult{};
            ++emitted_;
        }
    }

    // Parses complete records out of a worker's input; false when the stream
    // is corrupt.
    bool Consume(Worker& w) {
        size_t at = 0;
        bool ok = true;
        while (w.input.size() - at >= sizeof(uint32_t)) {
            uint32_t size = 0;
            std::memcpy(&size, w.input.data() + at, sizeof(size));
            if (size > kMaxRecord) {
                ok = false;
                break;
            }
            if (w.input.size() - at - sizeof(size) < size) break;
            uint32_t index = 0;
            PageResult r;
            if (!DecodeResult(w.input.data() + at + sizeof(size), size, index, r) ||
                static_cast<long>(index) != w.page) {
                ok = false;
                break;
            }
            at += sizeof(size) + size;
            w.page = -1;
            Finish(index, std::move(r));
            Dispatch(w);
        }
        w.input.erase(0, at);
        return ok;
    }

    // Reaps a worker that ended (or is made to end) and reports the page it
    // held.
    void Lost(Worker& w, const std::string& reason, bool kill_it) {
        if (kill_it) kill(w.pid, SIGKILL);
        int status = 0;
        pid_t r;
        do {
            r = waitpid(w.pid, &status, 0);
        } while (r < 0 && errno == EINTR);
        if (w.page >= 0) {
            PageResult result;
            result.code = kWorkerLost;
            result.message =
                reason.empty() ? (r == w.pid ? DescribeStatus(status) : "worker process ended") : reason;
            Finish(static_cast<size_t>(w.page), std::move(result));
            w.page = -1;
        }
        if (w.taskFd >= 0) close(w.taskFd);
        if (w.resultFd >= 0) close(w.resultFd);
        w.taskFd = w.resultFd = -1;
        w.pid = -1;
    }

    // Closes a worker's queue and waits for it to exit.
    void Retire(Worker& w) {
        if (w.pid < 0) return;
        if (w.taskFd >= 0) close(w.taskFd);
        w.taskFd = -1;
        Lost(w, "", false);
    }

    bool AnyAlive() const {
        for (const auto& w : workers_)
            if (w.pid >= 0) return true;
        return false;
    }

    // Fills empty worker slots while pages are waiting.
    void Replenish() {
        for (auto& w : workers_) {
            if (w.pid >= 0 || next_ >= pages_.size()) continue;
            Worker fresh;
            std::string error;
            if (Start(fresh, error)) {
                w = std::move(fresh);
                Dispatch(w);
            }
        }
    }

    void Poll() {
        std::vector<pollfd> fds;
        std::vector<size_t> slot;
        double nearest = 0;
        for (size_t k = 0; k < workers_.size(); ++k) {
            const Worker& w = workers_[k];
            if (w.pid < 0) continue;
            fds.push_back(pollfd{w.resultFd, POLLIN, 0});
            slot.push_back(k);
            if (w.page >= 0 && w.deadline > 0 && (nearest == 0 || w.deadline < nearest)) nearest = w.deadline;
        }
        int wait = -1;
        if (nearest > 0) {
            const double left = nearest - Now();
            wait = left <= 0 ? 0 : static_cast<int>(left * 1000.0) + 1;
        }
        const int n = poll(fds.data(), fds.size(), wait);
        if (n < 0 && errno != EINTR) {
            // poll itself failed: give up on the workers rather than spin.
            const std::string reason =
                std::string("cannot wait for the worker processes: ") + std::strerror(errno);
            for (auto& w : workers_)
                if (w.pid >= 0) Lost(w, reason, true);
            FailUndispatched(reason);
            return;
        }
        for (size_t f = 0; f < fds.size(); ++f) {
            Worker& w = workers_[slot[f]];
            if (n > 0 && (fds[f].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
                bool ended = false;
                char buffer[4096];
                for (;;) {
                    const ssize_t got = read(w.resultFd, buffer, sizeof(buffer));
                    if (got > 0) {
                        w.input.append(buffer, static_cast<size_t>(got));
                        continue;
                    }
                    if (got < 0 && errno == EINTR) continue;
                    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                    ended = true;  // end of stream or read error
                    break;
                }
                if (!Consume(w))
                    Lost(w, "worker process sent a damaged result", true);
                else if (ended)
                    Lost(w, "", false);
            }
            if (w.pid >= 0 && w.page >= 0 && w.deadline > 0 && Now() >= w.deadline) {
                char reason[120];
                std::snprintf(reason, sizeof(reason),
                              "page took longer than %d s; its worker process was stopped", timeout_);
                Lost(w, reason, true);
            }
        }
        Replenish();
    }

    const std::vector<std::string>& pages_;
    const ClassifyPage& classify_;
    const EmitPage& emit_;
    const ShowProgress& progress_;
    int timeout_;
    size_t jobs_ = 1;
    std::vector<PageResult> results_;
    std::vector<bool> finished_;
    std::vector<Worker> workers_;
    size_t next_ = 0;     // next page to hand out
    size_t done_ = 0;     // pages with a result
    size_t emitted_ = 0;  // pages passed to emit_
    std::string lastStartError_ = "unknown error";
};

}  // namespace

size_t WorkerCount(const BatchSettings& settings, size_t pages) {
    long jobs = settings.jobs > 0 ? settings.jobs : AvailableCores();
    if (jobs > kMaxJobs) jobs = kMaxJobs;
    if (static_cast<size_t>(jobs) > pages) jobs = static_cast<long>(pages);
    return static_cast<size_t>(jobs < 1 ? 1 : jobs);
}

int AvailableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

int ParseBatchOption(int argc, char** argv, int& i, BatchSettings& settings) {
    const std::string arg = argv[i];
    std::string name, value;
    bool hasValue = false;
    for (const char* option : {"--jobs", "-j", "--page-timeout"}) {
        const std::string o = option;
        if (arg == o) {
            name = o;
        } else if (o[1] == '-' && arg.compare(0, o.size() + 1, o + "=") == 0) {
            name = o;
            value = arg.substr(o.size() + 1);
            hasValue = true;
        }
        if (!name.empty()) break;
    }
    if (name.empty()) return 0;
    if (!hasValue) {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "morvane-classify: %s needs a value\n", name.c_str());
            return -1;
        }
        value = argv[++i];
    }
    long v = 0;
    if (name == "--page-timeout") {
        if (!ParseWhole(value.c_str(), 0, kMaxTimeoutSeconds, v)) {
            std::fprintf(stderr,
                         "morvane-classify: bad --page-timeout value '%s': give whole seconds from 0 to %d\n",
                         value.c_str(), kMaxTimeoutSeconds);
            return -1;
        }
        settings.timeoutSeconds = static_cast<int>(v);
        return 1;
    }
    if (!ParseWhole(value.c_str(), 1, 0x7fffffffL, v)) {
        std::fprintf(
            stderr, "morvane-classify: bad --jobs value '%s': give a number of worker processes, 1 or more\n",
            value.c_str());
        return -1;
    }
    if (v > kMaxJobs) {
        std::fprintf(stderr, "morvane-classify: --jobs %ld lowered to %d\n", v, kMaxJobs);
        v = kMaxJobs;
    }
    settings.jobs = static_cast<int>(v);
    return 1;
}

void RunBatch(const std::vector<std::string>& pages, const BatchSettings& settings,
              const ClassifyPage& classify, const EmitPage& emit, const ShowProgress& progress) {
    BatchSettings s = settings;
    if (s.timeoutSeconds < 0) s.timeoutSeconds = 0;
    Batch(pages, s, classify, emit, progress).Run();
}

}  // namespace morvane_cli
