// The bus's log: level gating and the hand-off to the handler.

#include "indigo/indigo_log.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines;

class Log : public testing::Test {
protected:
    void SetUp() override {
        lines.clear();
        indigo_log_message_handler = [](const char* message) {
            lines.emplace_back(message);
        };
    }
    void TearDown() override {
        indigo_log_message_handler = nullptr;
        indigo_set_log_level(INDIGO_LOG_ERROR);
    }
};

TEST_F(Log, EachLevelLetsThroughItsOwnAndLowerKinds) {
    struct Case {
        indigo_log_levels level;
        const char* expected; // e = error, i = info, d = debug, b = bus trace, t = trace
    };
    const Case cases[] = {
        {INDIGO_LOG_PLAIN, "e"},   {INDIGO_LOG_ERROR, "e"},        {INDIGO_LOG_INFO, "ei"},
        {INDIGO_LOG_DEBUG, "eid"}, {INDIGO_LOG_TRACE_BUS, "eidb"}, {INDIGO_LOG_TRACE, "eidbt"},
    };
    for (const Case& c : cases) {
        lines.clear();
        indigo_set_log_level(c.level);
        EXPECT_EQ(indigo_get_log_level(), c.level);
        indigo_error("e");
        indigo_log("i");
        indigo_debug("d");
        indigo_trace_bus("b");
        indigo_trace("t");
        std::string seen;
        for (const std::string& line : lines)
            seen += line;
        EXPECT_EQ(seen, c.expected) << "level " << c.level;
    }
}

TEST_F(Log, LinesAreFormattedWhateverTheirLength) {
    indigo_set_log_level(INDIGO_LOG_INFO);
    indigo_log("%s attached", "Camera \xC2\xB0");
    const std::string longText(5000, 'x');
    indigo_log("%s|", longText.c_str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Camera \xC2\xB0 attached");
    EXPECT_EQ(lines[1], longText + "|");
}

} // namespace
