#pragma once
// Shared by the batch writer tests: a capture folder and a settings store of the test's own,
// the log lines caught (the controller's and the video writers'), a view that records what
// the controller shows, and frames made of chosen bytes.

#include "batch/batch_controller.h"
#include "batch/batch_view.h"
#include "imaging/video_log.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"
#include "platform/user_defaults.h"
#include "support/temp_dir.h"
#include "test_decoders.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <linux/capability.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

struct RecordingBatchView : BatchView {
    bool previous = true, reveal = true, next = true;
    std::int64_t selected = -2;
    int reloads = 0;
    std::optional<std::string> answer; // what the open panel answers
    std::string prompt;
    std::optional<std::string> panelFolder;
    std::vector<std::pair<std::string, std::string>> revealed;

    void setPreviousButtonEnabled(bool enabled) override { previous = enabled; }
    void setShowInFinderButtonEnabled(bool enabled) override { reveal = enabled; }
    void setNextButtonEnabled(bool enabled) override { next = enabled; }
    void reloadTable(std::int64_t row) override {
        selected = row;
        ++reloads;
    }
    std::optional<std::string> chooseFile(const std::string& p, const std::optional<std::string>& start) override {
        prompt = p;
        panelFolder = start;
        return answer;
    }
    void revealFile(const std::string& path, const std::string& root) override { revealed.emplace_back(path, root); }
};

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        registerDecoders();
        defaults = std::make_unique<zeta::platform::UserDefaults>(dir.path() / "defaults.json");
        folder = dir.path() / "run";
        std::filesystem::create_directories(folder);
        zeta::platform::setSystemLogHandler([this](std::string_view line) { addLine(std::string(line)); });
        zeta::imaging::video::setMessageSink([this](const std::string& line) { addLine(line); });
        makeController();
    }
    // A fresh controller; its writer thread takes the calling thread's capabilities.
    void makeController() {
        controller = std::make_unique<BatchController>(defaults.get());
        controller->setView(&view);
        controller->setFolder(folder.string());
        controller->setNameTemplate("IMG");
    }
    void TearDown() override {
        controller.reset();
        dispatch::drainMainQueue();
        zeta::platform::setSystemLogHandler(nullptr);
        zeta::imaging::video::setMessageSink(nullptr);
        std::error_code ignored;
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    }

    void addLine(const std::string& line) {
        std::lock_guard guard(linesLock);
        lines.push_back(line);
    }
    std::vector<std::string> logLines() {
        std::lock_guard guard(linesLock);
        return lines;
    }
    int linesWith(const std::string& text) {
        int n = 0;
        for (const auto& line : logLines())
            n += line.find(text) != std::string::npos;
        return n;
    }

    // Saves as the capture engine does: no optional part.
    void save(const zeta::platform::Data& frame, const std::string& extension) {
        controller->saveFrame(frame, std::nullopt, std::nullopt, std::nullopt, std::nullopt, extension);
    }
    // Lets the refreshes the saves queued run.
    void settle() {
        controller->flush();
        dispatch::drainMainQueue();
    }

    std::vector<std::string> filesInFolder() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    test_support::TempDir dir{"zeta-batch"};
    std::filesystem::path folder;
    std::unique_ptr<zeta::platform::UserDefaults> defaults;
    RecordingBatchView view;
    std::unique_ptr<BatchController> controller;
    std::mutex linesLock;
    std::vector<std::string> lines;
};

inline zeta::platform::Data bytesOf(const std::string& text) {
    return zeta::platform::Data(text.data(), text.size());
}

inline std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An INDIGO raw frame: "RAWn", width, height, then the pixels.
inline zeta::platform::Data rawFrame(int bytesPerPixel, std::uint32_t width, std::uint32_t height, unsigned seed) {
    std::vector<std::uint8_t> bytes(12 + std::size_t(width) * height * bytesPerPixel);
    const std::uint32_t header[3] = {0x30574152u + (std::uint32_t(bytesPerPixel) << 24), width, height};
    std::memcpy(bytes.data(), header, 12);
    std::uint32_t state = 2654435761u * (seed + 1);
    for (std::size_t i = 12; i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return zeta::platform::Data(std::move(bytes));
}

// Runs the work on a thread of its own without the power to write where the permissions say
// no (root's file override is per thread), as the bus thread saving frames would.
template <class Work>
void runWithoutFileOverride(Work&& work) {
    std::thread thread([&] {
        if (::geteuid() == 0) {
            __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
            __user_cap_data_struct data[2]{};
            if (::syscall(SYS_capget, &header, data) == 0) {
                for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                    data[cap / 32].effective &= ~(1u << (cap % 32));
                ::syscall(SYS_capset, &header, data);
            }
        }
        work();
    });
    thread.join();
}
