// Change requests through the client to a real in-process device, which records what reaches it.

#include "Common/indigo.h"
#include "support/client_fixture.h"
#include "support/eventually.h"

#include <gtest/gtest.h>

using namespace test_support;

namespace {

class Requests : public Client {
protected:
    void SetUp() override {
        Client::SetUp();
        start();
        connection = switchProperty("Camera", "CONNECTION", "Main", {{"CONNECTED", false}, {"DISCONNECTED", true}});
        config = switchProperty("Camera", "CONFIG", "Main", {{"LOAD", false}, {"SAVE", false}});
        exposure = numberProperty("Camera", "CCD_EXPOSURE", "Camera", {{"EXPOSURE", 0}});
        frame = numberProperty("Camera", "CCD_FRAME", "Camera", {{"LEFT", 0}, {"TOP", 0}, {"WIDTH", 0}});
        names = textProperty("Camera", "NAMES", "Main", {{"NAME", ""}});
        image = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
        camera = &attach("Camera", {connection, config, exposure, frame, names, image});
        held = indigo->device("Camera");
        ASSERT_NE(held, nullptr);
    }

    std::shared_ptr<INDIGO::Property> property(const char* name) { return held->property(name); }

    // What reached the device since the last call: every request made before a marker has
    // arrived once the marker has.
    std::vector<std::string> sendMarkerAndCollect() {
        const std::string marker = "MARKER N=" + std::to_string(++markers);
        indigo->changeNumberProperty("Camera", "MARKER", {{"N", double(markers)}});
        std::vector<std::string> briefs;
        EXPECT_TRUE(eventually([&] {
            briefs = camera->briefs();
            return std::find(briefs.begin() + static_cast<std::ptrdiff_t>(consumed), briefs.end(), marker) !=
                   briefs.end();
        }));
        const auto end = std::find(briefs.begin() + static_cast<std::ptrdiff_t>(consumed), briefs.end(), marker);
        std::vector<std::string> since(briefs.begin() + static_cast<std::ptrdiff_t>(consumed), end);
        consumed = static_cast<std::size_t>(end - briefs.begin()) + 1;
        return since;
    }

    int markers = 0;
    std::size_t consumed = 0;

    indigo_property *connection = nullptr, *config = nullptr, *exposure = nullptr, *frame = nullptr, *names = nullptr,
                    *image = nullptr;
    FixtureDevice* camera = nullptr;
    std::shared_ptr<INDIGO::Device> held;
};

} // namespace

TEST_F(Requests, RequestsReachTheDeviceInTheOrderTheyWereMade) {
    std::vector<std::string> expected;
    for (int round = 0; round < 100; ++round) {
        indigo->setSwitchItem(property("CONFIG"), "LOAD", true);
        indigo->setSwitchItem(property("CONNECTION"), "CONNECTED", true);
        indigo->setSwitchItem(property("CONFIG"), "LOAD", true);
        indigo->setNumberItems(property("CCD_EXPOSURE"), {{"EXPOSURE", double(round)}});
        expected.insert(expected.end(), {"CONFIG LOAD=On", "CONNECTION CONNECTED=On", "CONFIG LOAD=On",
                                         "CCD_EXPOSURE EXPOSURE=" + std::to_string(round)});
    }
    EXPECT_EQ(sendMarkerAndCollect(), expected);
}

TEST_F(Requests, WhatEachRequestSends) {
    struct Case {
        const char* what;
        std::function<void()> request;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"switch on",
         [&] { indigo->setSwitchItem(property("CONNECTION"), "CONNECTED", true); },
         {"CONNECTION CONNECTED=On"}},
        {"switch off: only that item",
         [&] { indigo->setSwitchItem(property("CONNECTION"), "CONNECTED", false); },
         {"CONNECTION CONNECTED=Off"}},
        {"no property", [&] { indigo->setSwitchItem(nullptr, "CONNECTED", true); }, {}},
        {"no such item", [&] { indigo->setSwitchItem(property("CONNECTION"), "MAYBE", true); }, {}},
        {"numbers in the given order, unknown names too",
         [&] {
             indigo->setNumberItems(property("CCD_FRAME"), {{"WIDTH", 640}, {"LEFT", 8}, {"BOGUS", 1}});
         },
         {"CCD_FRAME WIDTH=640 LEFT=8 BOGUS=1"}},
        {"no numbers: a change of nothing", [&] { indigo->setNumberItems(property("CCD_FRAME"), {}); }, {"CCD_FRAME"}},
        {"numbers without a property",
         [&] {
             indigo->setNumberItems(nullptr, {{"X", 1}});
         },
         {}},
        {"texts in UTF-8",
         [&] {
             indigo->setTextItems(property("NAMES"), {{"NAME", "25 \xc2\xb0"
                                                               "C"}});
         },
         {"NAMES NAME=25 \xc2\xb0"
          "C"}},
        {"no texts", [&] { indigo->setTextItems(property("NAMES"), {}); }, {"NAMES"}},
        {"texts without a property",
         [&] {
             indigo->setTextItems(nullptr, {{"NAME", "x"}});
         },
         {}},
        {"numbers by name",
         [&] {
             indigo->changeNumberProperty("Camera", "SYNC", {{"RA", 12.5}, {"DEC", -30}});
         },
         {"SYNC RA=12.5 DEC=-30"}},
        {"switch by name", [&] { indigo->changeSwitchProperty("Camera", "ANY", "ITEM", false); }, {"ANY ITEM=Off"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.request();
        EXPECT_EQ(sendMarkerAndCollect(), c.sent);
    }
}

TEST_F(Requests, RequestsByNameReachDevicesTheModelDoesNotHold) {
    FixtureDevice mount("Orvanta @ Orvanta");
    mount.attach();
    indigo->device("Orvanta @ Orvanta");
    indigo->changeNumberProperty("Orvanta @ Orvanta", "SLEW", {{"RA", 1}, {"DEC", 2}});
    ASSERT_TRUE(mount.waitForChanges(1));
    EXPECT_EQ(mount.briefs(), std::vector<std::string>{"SLEW RA=1 DEC=2"});
    EXPECT_EQ(indigo->device("Orvanta @ Orvanta"), nullptr);
}

TEST_F(Requests, NamesAndTextsThatDoNotFitAreRefusedWithALogLine) {
    const std::string name127(127, 'n'), name128(128, 'n');
    const std::string text511(511, 't'), text512(512, 't');
    // A two-byte character that would straddle the limit counts whole.
    const std::string degrees = std::string(126, 'n') + "\xc2\xb0";
    struct Case {
        const char* what;
        std::function<void()> request;
        bool sent;
    };
    const Case cases[] = {
        {"item name of 127 bytes",
         [&] {
             indigo->setNumberItems(property("CCD_FRAME"), {{name127, 1}});
         },
         true},
        {"item name of 128 bytes",
         [&] {
             indigo->setNumberItems(property("CCD_FRAME"), {{name128, 1}});
         },
         false},
        {"item name of 128 bytes ending in a degree sign",
         [&] {
             indigo->setNumberItems(property("CCD_FRAME"), {{degrees, 1}});
         },
         false},
        {"text of 511 bytes",
         [&] {
             indigo->setTextItems(property("NAMES"), {{"NAME", text511}});
         },
         true},
        {"text of 512 bytes",
         [&] {
             indigo->setTextItems(property("NAMES"), {{"NAME", text512}});
         },
         false},
        {"switch item of 128 bytes", [&] { indigo->changeSwitchProperty("Camera", "ANY", name128, true); }, false},
        {"device name of 128 bytes", [&] { indigo->changeNumberProperty(name128, "SYNC", {}); }, false},
        {"property name of 128 bytes", [&] { indigo->changeNumberProperty("Camera", name128, {}); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t logged = indigo->messageCount();
        c.request();
        EXPECT_EQ(sendMarkerAndCollect().size(), c.sent ? 1u : 0u);
        if (c.sent) {
            EXPECT_EQ(indigo->messageCount(), logged);
        } else {
            ASSERT_EQ(indigo->messageCount(), logged + 1);
            EXPECT_NE(indigo->messages().back().find(" is longer than "), std::string::npos);
        }
    }
    // What was sent arrived whole.
    const auto changes = camera->changes();
    EXPECT_TRUE(
        std::any_of(changes.begin(), changes.end(), [&](const Change& c) { return c.names == std::vector{name127}; }));
    EXPECT_TRUE(
        std::any_of(changes.begin(), changes.end(), [&](const Change& c) { return c.values == std::vector{text511}; }));
}

TEST_F(Requests, EnableBLOBPicksTheModeFromTheVersion) {
    struct Case {
        const char* property;
        std::int16_t version;
        bool enable;
        int mode; // -1: nothing sent
    };
    const Case cases[] = {
        {"CCD_IMAGE", 0x200, true, INDIGO_ENABLE_BLOB_URL},
        {"CCD_IMAGE", 0x105, true, INDIGO_ENABLE_BLOB_ALSO},
        {"CCD_IMAGE", 0x200, false, INDIGO_ENABLE_BLOB_NEVER},
        {"CCD_IMAGE", 0x105, false, INDIGO_ENABLE_BLOB_NEVER},
        {"NAMES", 0x200, true, -1},
        {"CCD_EXPOSURE", 0x200, false, -1},
    };
    std::vector<std::pair<std::string, int>> expected;
    for (const Case& c : cases) {
        const auto target = property(c.property);
        target->property()->version = c.version;
        indigo->enableBLOB(target, c.enable);
        if (c.mode >= 0) expected.emplace_back(c.property, c.mode);
        // Each request goes out before the next version is written.
        sendMarkerAndCollect();
    }
    indigo->enableBLOB(nullptr, true);
    sendMarkerAndCollect();
    std::vector<std::pair<std::string, int>> seen;
    for (const auto& [name, mode] : camera->blobModes())
        seen.emplace_back(name, mode);
    EXPECT_EQ(seen, expected);
}

TEST_F(Requests, ADeviceAnsweringOnTheSendingThreadReachesTheControllers) {
    // The device answers each change with an update, which comes back to the client on the
    // sending thread; the controller then asks again from indigoSyncQueue.
    camera->onChange = [&](const indigo_property* request) {
        if (std::string_view(request->name) == "CCD_EXPOSURE") {
            exposure->items[0].number.value = request->items[0].number.value;
            camera->update(exposure);
        }
    };
    std::atomic<int> updates{0};
    controller.onProperty = [&](const std::string& kind, const std::shared_ptr<INDIGO::Property>& changed) {
        if (kind == "update" && changed->name() == "CCD_EXPOSURE") {
            const int seen = ++updates;
            if (seen < 5) indigo->setNumberItems(changed, {{"EXPOSURE", double(seen)}});
        }
    };
    indigo->setNumberItems(property("CCD_EXPOSURE"), {{"EXPOSURE", 0}});
    EXPECT_TRUE(eventually([&] { return updates.load() == 5; }));
    EXPECT_EQ(property("CCD_EXPOSURE")->item<INDIGO::NumberItem>("EXPOSURE")->value(), 4);
    controller.onProperty = nullptr;
    camera->onChange = nullptr;
}
