#pragma once
// Figures for benchmarks on a shared machine: the median of as many timed runs as it takes
// for the median to settle, so that two runs of a benchmark agree; and the line every
// benchmark prints:
//   bench NAME: zeta=<figure> peer=<figure> ratio=<peer/zeta> target=<ratio>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace zeta::bench {

struct Settle {
    int minRuns = 7;
    int maxRuns = 201;
    double maxSeconds = 20;  // spent on timed runs; a slow peer stops here
    double tolerance = 0.02; // how far the median may still move after a round
};

inline double medianOf(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Milliseconds of work, the median of its runs: at least minRuns, then rounds of a third
// more runs until the median of all runs moves by less than the tolerance. prepare runs
// untimed before each run.
inline double medianMs(const std::function<void()>& work, const std::function<void()>& prepare = {},
                       Settle settle = {}) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    double spent = 0;
    const auto run = [&] {
        if (prepare) prepare();
        const auto start = Clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        times.push_back(ms);
        spent += ms / 1000;
    };
    // One untimed run first: caches, page tables and the peer's files are then as warm as
    // they will be in every timed run.
    if (prepare) prepare();
    work();
    while (static_cast<int>(times.size()) < settle.minRuns && spent < settle.maxSeconds)
        run();
    double median = medianOf(times);
    while (static_cast<int>(times.size()) < settle.maxRuns && spent < settle.maxSeconds) {
        const std::size_t round = std::max<std::size_t>(3, times.size() / 3);
        for (std::size_t i = 0; i < round; ++i)
            run();
        const double next = medianOf(times);
        const bool settled = std::fabs(next - median) <= settle.tolerance * median;
        median = next;
        if (settled) break;
    }
    return median;
}

struct PairMs {
    double zeta = 0;
    double peer = 0;
};

// Both sides' medians as medianMs, their runs taken in turn, so that a change in the
// machine's load falls on both alike. Settled when neither median moves.
inline PairMs medianPairMs(const std::function<void()>& zeta, const std::function<void()>& peer,
                           const std::function<void()>& prepare = {}, Settle settle = {}) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> zetaTimes, peerTimes;
    double spent = 0;
    const auto time = [&](const std::function<void()>& work, std::vector<double>& times) {
        if (prepare) prepare();
        const auto start = Clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        times.push_back(ms);
        spent += ms / 1000;
    };
    const auto run = [&] {
        time(zeta, zetaTimes);
        time(peer, peerTimes);
    };
    for (const auto* work : {&zeta, &peer}) {
        if (prepare) prepare();
        (*work)();
    }
    while (static_cast<int>(zetaTimes.size()) < settle.minRuns && spent < settle.maxSeconds)
        run();
    PairMs median{medianOf(zetaTimes), medianOf(peerTimes)};
    while (static_cast<int>(zetaTimes.size()) < settle.maxRuns && spent < settle.maxSeconds) {
        const std::size_t round = std::max<std::size_t>(3, zetaTimes.size() / 3);
        for (std::size_t i = 0; i < round; ++i)
            run();
        const PairMs next{medianOf(zetaTimes), medianOf(peerTimes)};
        const bool settled = std::fabs(next.zeta - median.zeta) <= settle.tolerance * median.zeta &&
                             std::fabs(next.peer - median.peer) <= settle.tolerance * median.peer;
        median = next;
        if (settled) break;
    }
    return median;
}

// A line of times in milliseconds, lower is better: ratio is peer / zeta.
inline void printLine(const char* name, double zetaMs, double peerMs, double target) {
    std::printf("bench %s: zeta=%.2fms peer=%.2fms ratio=%.2f target=%.2f\n", name, zetaMs, peerMs, peerMs / zetaMs,
                target);
    std::fflush(stdout);
}

} // namespace zeta::bench
