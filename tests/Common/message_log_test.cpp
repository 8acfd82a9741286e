// The message log: bounded, one entry per text with its time, every line to the system log.

#include "Common/base_controller.h"
#include "Common/time_format.h"
#include "imaging/video_log.h"
#include "platform/system_log.h"
#include "support/fixture_device.h"
#include "support/recording_controller.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <thread>

using namespace test_support;

namespace {

class MessageLog : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([this](std::string_view entry) {
            std::lock_guard lock(mutex);
            systemLog.emplace_back(entry);
        });
        indigo = std::make_shared<INDIGO>();
        controller.setIndigo(indigo);
    }
    void TearDown() override {
        zeta::platform::setSystemLogHandler({});
        controller.setIndigo(nullptr);
    }
    std::vector<std::string> takeSystemLog() {
        std::lock_guard lock(mutex);
        return std::exchange(systemLog, {});
    }

    std::mutex mutex;
    std::vector<std::string> systemLog;
    RecordingController controller;
    std::shared_ptr<INDIGO> indigo;
};

} // namespace

TEST_F(MessageLog, BeforeStartEntriesHaveAnEmptyTime) {
    indigo->message("early");
    EXPECT_EQ(indigo->messages(), std::vector<std::string>{" early"});
}

TEST_F(MessageLog, EntriesCarryTheTimeOfDayWithMilliseconds) {
    indigo->startWithLocalServer(false, false);
    indigo->message("note");
    const std::string entry = indigo->messages().back();
    EXPECT_TRUE(std::regex_match(entry, std::regex(R"(([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]\.[0-9]{3} note)")))
        << entry;
}

TEST_F(MessageLog, VideoWriterLinesReachTheLogOnceTheClientStarts) {
    zeta::imaging::video::logMessage("before the client");
    EXPECT_EQ(takeSystemLog(), std::vector<std::string>{"before the client"});
    EXPECT_TRUE(indigo->messages().empty());

    indigo->startWithLocalServer(false, false);
    zeta::imaging::video::logMessage("SER: frame dropped");
    ASSERT_FALSE(indigo->messages().empty());
    EXPECT_TRUE(indigo->messages().back().ends_with(" SER: frame dropped")) << indigo->messages().back();
    zeta::imaging::video::setMessageSink({});
}

TEST(TimeFormat, FormatsTheLocalTimeOfDay) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const auto time =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(1733833387250)); // 12:23:07.250 UTC
    EXPECT_EQ(TimeFormat("HH:mm:ss.SSS").stringFromDate(time), "12:23:07.250");
    EXPECT_EQ(TimeFormat("[HH]").stringFromDate(time), "[12]");
    EXPECT_EQ(TimeFormat().stringFromDate(time), "");
    const auto early = std::chrono::system_clock::time_point(std::chrono::milliseconds(1733800000005)); // 03:06:40.005
    EXPECT_EQ(TimeFormat("HH:mm:ss.SSS").stringFromDate(early), "03:06:40.005");
}

TEST_F(MessageLog, LinesGoToTheSystemLogOneByOneAndVerbatim) {
    struct Case {
        const char* text;
        std::vector<std::string> systemEntries;
    };
    const Case cases[] = {
        {"one line", {"one line"}},
        {"first\nsecond", {"first", "second"}},
        {"ends in a break\n", {"ends in a break", ""}},
        {"100% done, %s %d %n", {"100% done, %s %d %n"}},
        {"", {""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        indigo->message(c.text);
        EXPECT_EQ(takeSystemLog(), c.systemEntries);
        EXPECT_EQ(indigo->messages().back(), std::string(" ") + c.text) << "one entry holding the whole text";
        EXPECT_EQ(controller.messages().back(), c.text) << "the delegates get the whole text";
    }
    EXPECT_EQ(indigo->messageCount(), std::size(cases));
}

TEST_F(MessageLog, HoldsAtMost10001EntriesDroppingTheOldest) {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    for (int i = 1; i <= 10001; ++i)
        indigo->message(std::to_string(i));
    EXPECT_EQ(indigo->messageCount(), 10001u);
    EXPECT_EQ(indigo->messages().front(), " 1");
    indigo->message("10002");
    const auto log = indigo->messages();
    ASSERT_EQ(log.size(), 10001u);
    EXPECT_EQ(log.front(), " 2");
    EXPECT_EQ(log.back(), " 10002");
}

TEST_F(MessageLog, ClearingEmptiesTheLogAndTellsTheDelegates) {
    indigo->message("a");
    indigo->message("b");
    takeSystemLog();
    indigo->clearMessages();
    EXPECT_EQ(indigo->messageCount(), 0u);
    EXPECT_EQ(controller.messages().back(), "Log cleared...");
    EXPECT_TRUE(takeSystemLog().empty()) << "the notice is not written to the system log";
    indigo->message("c");
    EXPECT_EQ(indigo->messages(), std::vector<std::string>{" c"});
}

TEST_F(MessageLog, WritersOnManyThreadsLoseNoLine) {
    zeta::platform::setSystemLogHandler([](std::string_view) {});
    constexpr int kThreads = 4;
    constexpr int kLines = 1500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kLines; ++i)
                indigo->message("t" + std::to_string(t) + " " + std::to_string(i));
        });
    // A reader in the manner of the log window, on the log's own queue.
    std::size_t seen = 0;
    for (int i = 0; i < 50; ++i)
        indigo->messageSyncQueue().sync([&] { seen = std::max(seen, indigo->messagesOnQueue().size()); });
    for (auto& writer : writers)
        writer.join();

    const auto log = indigo->messages();
    ASSERT_EQ(log.size(), std::size_t(kThreads * kLines));
    const std::set<std::string> entries(log.begin(), log.end());
    EXPECT_EQ(entries.size(), log.size());
    // Each thread's lines are stored in the order it logged them.
    std::vector<int> next(kThreads, 0);
    for (const std::string& entry : log) {
        const int thread = entry[2] - '0';
        EXPECT_EQ(entry, " t" + std::to_string(thread) + " " + std::to_string(next[thread]));
        next[thread]++;
    }
    EXPECT_EQ(controller.messages().size(), log.size());
    EXPECT_LE(seen, log.size());
}
