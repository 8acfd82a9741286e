// Main-queue work of a controller runs while the controller lives and is dropped once it is
// gone; what such work holds is given back either way.

#include "Common/main_hop.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

TEST(MainHop, RunsWhileTheOwnerLivesAndGivesBackAfter) {
    std::vector<std::string> ran;
    {
        zeta::common::MainHop hop;
        hop.async([&] { ran.push_back("task"); });
        hop.async([&] { ran.push_back("task held"); }, [&] { ran.push_back("given back"); });
        dispatch::drainMainQueue();
        EXPECT_EQ(ran, (std::vector<std::string>{"task", "task held"}));
        ran.clear();
    }
    {
        std::optional<zeta::common::MainHop> hop(std::in_place);
        hop->async([&] { ran.push_back("task"); });
        hop->async([&] { ran.push_back("task held"); }, [&] { ran.push_back("given back"); });
        hop.reset(); // the owner goes before the main queue runs
        dispatch::drainMainQueue();
    }
    EXPECT_EQ(ran, std::vector<std::string>{"given back"});
}
