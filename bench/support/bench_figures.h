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

// One timed run of work, in milliseconds; prepare runs untimed before it.
inline double timedMs(const std::function<void()>& work, const std::function<void()>& prepare) {
    using Clock = std::chrono::steady_clock;
    if (prepare) prepare();
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The median of values once it has settled: run (which adds a value, and its seconds to
// spent) is called minRuns times, then in rounds of a third more until the median moves by
// less than the tolerance, or the runs or seconds allowed are spent.
inline double settledMedian(std::vector<double>& values, const std::function<void()>& run, const double& spent,
                            const Settle& settle) {
    while (static_cast<int>(values.size()) < settle.minRuns && spent < settle.maxSeconds)
        run();
    double median = medianOf(values);
    while (static_cast<int>(values.size()) < settle.maxRuns && spent < settle.maxSeconds) {
        const std::size_t round = std::max<std::size_t>(3, values.size() / 3);
        for (std::size_t i = 0; i < round; ++i)
            run();
        const double next = medianOf(values);
        const bool settled = std::fabs(next - median) <= settle.tolerance * median;
        median = next;
        if (settled) break;
    }
    return median;
}

// Milliseconds of work, the median of its runs: at least minRuns, then rounds of a third
// more runs until the median of all runs moves by less than the tolerance. prepare runs
// untimed before each run.
inline double medianMs(const std::function<void()>& work, const std::function<void()>& prepare = {},
                       Settle settle = {}) {
    std::vector<double> times;
    double spent = 0;
    const auto run = [&] {
        times.push_back(timedMs(work, prepare));
        spent += times.back() / 1000;
    };
    // One untimed run first: caches, page tables and the peer's files are then as warm as
    // they will be in every timed run.
    if (prepare) prepare();
    work();
    return settledMedian(times, run, spent, settle);
}

// How far the ratios of single pairs of runs stray: half the distance between their
// quartiles, as a fraction of their median. What a reader weighs a ratio's digits by.
inline double ratioSpread(std::vector<double> ratios) {
    if (ratios.size() < 4) return 0;
    std::sort(ratios.begin(), ratios.end());
    const double middle = medianOf(ratios);
    const double low = ratios[ratios.size() / 4];
    const double high = ratios[ratios.size() - 1 - ratios.size() / 4];
    return middle > 0 ? (high - low) / 2 / middle : 0;
}

struct PairMs {
    double zeta = 0;   // median of Zeta's runs
    double peer = 0;   // median of the peer's runs
    double ratio = 0;  // median of peer/zeta over pairs of runs taken one right after the other
    double spread = 0; // ratioSpread of those per-pair ratios
};

// Runs of both sides taken in turn (zeta[i] with peer[i]): each side's median, the median of
// the pairs' own ratios (peer/zeta) and their spread.
inline PairMs pairOfRuns(const std::vector<double>& zeta, const std::vector<double>& peer) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < zeta.size() && i < peer.size(); ++i)
        ratios.push_back(zeta[i] > 0 ? peer[i] / zeta[i] : 0);
    return {medianOf(zeta), medianOf(peer), medianOf(ratios), ratioSpread(ratios)};
}

// Both sides' runs taken in turn, so that a change in the machine's load falls on both
// alike; the ratio is the median of the pairs' own ratios, which a slow stretch moves least.
// Each call of zeta or peer is one run and returns its milliseconds. Settled when the ratio
// stops moving, as in medianMs.
inline PairMs medianPairOf(const std::function<double()>& zeta, const std::function<double()>& peer,
                           Settle settle = {}) {
    std::vector<double> zetaTimes, peerTimes, ratios;
    double spent = 0;
    const auto run = [&] {
        zetaTimes.push_back(zeta());
        peerTimes.push_back(peer());
        ratios.push_back(zetaTimes.back() > 0 ? peerTimes.back() / zetaTimes.back() : 0);
        spent += (zetaTimes.back() + peerTimes.back()) / 1000;
    };
    // One untimed pair first, as in medianMs.
    zeta();
    peer();
    settledMedian(ratios, run, spent, settle);
    return pairOfRuns(zetaTimes, peerTimes);
}

// medianPairOf for work timed here; prepare runs untimed before each run of either side.
inline PairMs medianPairMs(const std::function<void()>& zeta, const std::function<void()>& peer,
                           const std::function<void()>& prepare = {}, Settle settle = {}) {
    return medianPairOf([&] { return timedMs(zeta, prepare); }, [&] { return timedMs(peer, prepare); }, settle);
}

// A line of times in milliseconds, lower is better: ratio is peer / zeta.
inline void printLine(const char* name, double zetaMs, double peerMs, double target) {
    std::printf("bench %s: zeta=%.2fms peer=%.2fms ratio=%.2f target=%.2f\n", name, zetaMs, peerMs, peerMs / zetaMs,
                target);
    std::fflush(stdout);
}

// A line of paired runs: the ratio is the median of the pairs' (see medianPairMs), the
// spread after it.
inline void printLine(const char* name, const PairMs& pair, double target) {
    std::printf("bench %s: zeta=%.2fms peer=%.2fms ratio=%.2f target=%.2f spread=%.0f%%\n", name, pair.zeta, pair.peer,
                pair.ratio, target, 100 * pair.spread);
    std::fflush(stdout);
}

} // namespace zeta::bench
