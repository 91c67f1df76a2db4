#pragma once

#include <time.h>

namespace morvane::test {

// Guards against runaway work (an analysis repeated per list entry, a search
// that grows with the square of the page) are measured in the calling
// thread's CPU time rather than wall time: a machine busy with other builds
// stretches wall time many times over, but not the work this thread does.
class CpuStopwatch {
public:
    CpuStopwatch() : start_(Now()) {}
    double Seconds() const { return Now() - start_; }

private:
    static double Now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
    }
    double start_;
};

}  // namespace morvane::test
