#include "focus/sequence_plan.h"

#include "focus/capture_values.h"

#include <cstdlib>

namespace zeta::focus {

PlanReading readPlan(const std::vector<SequencerRow>& rows, long long repeatCount) {
    SequencePlan plan;
    plan.repeats = repeatCount < 1 ? 1 : repeatCount;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SequencerRow& row = rows[i];
        if (std::atoi(row.use.c_str()) <= 0) continue;
        const int number = static_cast<int>(i) + 1;
        const auto refused = [number](const std::string& why) {
            return PlanReading{std::nullopt, "Row " + std::to_string(number) + ": " + why};
        };
        const auto count = frameCount(row.count);
        if (!count.value) return refused(count.error);
        const auto duration = exposureSeconds(row.duration);
        if (!duration.value) return refused(duration.error);
        const auto interval = intervalSeconds(row.timeLapse);
        if (!interval.value) return refused(interval.error);
        plan.rows.push_back({number, *count.value, *duration.value, *interval.value, row.name});
    }
    if (plan.rows.empty()) return {std::nullopt, "No row is in use: tick Use on the rows to run"};
    return {std::move(plan), {}};
}

} // namespace zeta::focus
