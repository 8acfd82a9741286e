// BLOB bytes fetched from their url: a real HTTP server on 127.0.0.1 with a free port.

#include "Common/blob_fetch.h"

#include "Common/blob_item.h"
#include "Common/device.h"
#include "Common/property.h"
#include "support/fixture_device.h"

#include <chrono>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

using namespace test_support;

namespace {

class BlobServer : public ::testing::Test {
protected:
    void SetUp() override {
        server.Get("/frame.fits", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(1000, 'F'), "application/octet-stream");
        });
        server.Get("/big", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(5000, 'B'), "application/octet-stream");
        });
        server.Get("/streamed", [](const httplib::Request&, httplib::Response& response) {
            // No length announced: the limit must hold while the bytes arrive.
            response.set_chunked_content_provider("application/octet-stream", [](std::size_t, httplib::DataSink& sink) {
                const std::string chunk(1000, 'S');
                for (int i = 0; i < 5; ++i)
                    if (!sink.write(chunk.data(), chunk.size())) return false;
                sink.done();
                return true;
            });
        });
        server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            response.set_content("late", "text/plain");
        });
        server.Get("/elsewhere", [](const httplib::Request&, httplib::Response& response) {
            response.set_redirect("file:///etc/hostname");
        });
        server.Get("/moved", [this](const httplib::Request&, httplib::Response& response) {
            response.set_redirect(base + "/frame.fits");
        });
        port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        base = "http://127.0.0.1:" + std::to_string(port);
        thread = std::thread([this] { server.listen_after_bind(); });
        // The socket listens from the bind on: early connections wait in its backlog.
    }
    void TearDown() override {
        server.stop();
        thread.join();
    }

    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::string base;
};

} // namespace

TEST_F(BlobServer, OnlyHttpIsFetchedAndWithinItsLimits) {
    BlobFetchLimits small;
    small.maxBytes = 2000;
    small.totalTimeout = std::chrono::milliseconds(300);
    struct Case {
        std::string url;
        std::size_t bytes; // 0: nothing
    };
    const Case cases[] = {
        {base + "/frame.fits", 1000},
        {base + "/moved", 1000},
        {base + "/missing", 0},
        {base + "/big", 0},
        {base + "/streamed", 0},
        {base + "/slow", 0},
        {base + "/elsewhere", 0},
        {"file:///etc/hostname", 0},
        {"ftp://127.0.0.1/frame.fits", 0},
        {"HTTP://127.0.0.1:" + std::to_string(port) + "/frame.fits", 1000},
        {"http://127.0.0.1:1/closed", 0},
        {"/frame.fits", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const auto start = std::chrono::steady_clock::now();
        const auto fetched = fetchBlobURL(c.url, small);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700)) << "the time limit holds";
        EXPECT_EQ(fetched ? fetched->size() : 0u, c.bytes);
    }
}

TEST_F(BlobServer, ABLOBWithAURLIsFetchedOncePerUpdate) {
    auto device = std::make_shared<INDIGO::Device>("Remote");
    indigo_property* record = blobProperty("Remote", "CCD_IMAGE", "Camera", "IMAGE");
    indigo_copy_value(record->items[0].blob.url, (base + "/frame.fits").c_str());
    indigo_copy_name(record->items[0].blob.format, ".raw");
    const auto item = device->lookupProperty(record)->item<INDIGO::BLOBItem>("IMAGE");
    EXPECT_EQ(item->format(), ".fits");
    EXPECT_EQ(item->value().length(), 1000u);
    server.stop(); // the cache answers from now on
    thread.join();
    thread = std::thread([] {});
    EXPECT_EQ(item->value().length(), 1000u);
    item->reset();
    EXPECT_TRUE(item->value().empty()) << "the server is gone";
    device->clear();
    indigo_release_property(record);
}
