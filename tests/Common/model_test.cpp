// The bus model on its own: properties, items and BLOB caches built over real bus records.

#include "Common/indigo.h"
#include "imaging/image.h"
#include "indigo/indigo_property.h"
#include "platform/image/image_rep.h"
#include "support/fixture_device.h"

#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <thread>

using namespace test_support;

namespace {

// The maker's reference is given up at once: the model's own reference must keep it readable.
struct Model {
    std::shared_ptr<INDIGO::Device> device = std::make_shared<INDIGO::Device>("Camera");

    std::shared_ptr<INDIGO::Property> file(indigo_property* record) {
        auto property = device->lookupProperty(record);
        records.push_back(record);
        return property;
    }
    ~Model() {
        device->clear();
        for (indigo_property* record : records)
            indigo_release_property(record);
    }
    std::vector<indigo_property*> records;
};

std::vector<std::uint8_t> rawFrame(const char* signature, std::uint32_t width, std::uint32_t height,
                                   const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> bytes(12 + pixels.size());
    std::memcpy(bytes.data(), signature, 4);
    std::memcpy(bytes.data() + 4, &width, 4);
    std::memcpy(bytes.data() + 8, &height, 4);
    std::memcpy(bytes.data() + 12, pixels.data(), pixels.size());
    return bytes;
}

// Runs a task on another thread while holding the item's lock there.
class LockHolder {
public:
    explicit LockHolder(std::mutex& lock) {
        std::promise<void> taken;
        auto isTaken = taken.get_future();
        thread_ = std::thread([&lock, &taken, this] {
            std::lock_guard guard(lock);
            taken.set_value();
            release_.get_future().wait();
        });
        isTaken.wait();
    }
    ~LockHolder() {
        release_.set_value();
        thread_.join();
    }

private:
    std::promise<void> release_;
    std::thread thread_;
};

} // namespace

TEST(BusModel, ItemsAreBuiltOnePerRecordItemOfThePropertysKind) {
    struct Case {
        const char* what;
        indigo_property* record;
        std::vector<std::string> itemNames;
        std::size_t items;
    };
    auto light = indigo_init_light_property(nullptr, "Camera", "LIGHTS", "Main", "Lights", INDIGO_OK_STATE, 3);
    indigo_init_light_item(light->items + 0, "A", "A", INDIGO_IDLE_STATE);
    indigo_init_light_item(light->items + 1, "B", "B", INDIGO_BUSY_STATE);
    indigo_init_light_item(light->items + 2, "C", "C", INDIGO_ALERT_STATE);
    auto twice = switchProperty("Camera", "TWICE", "Main", {{"A", false}, {"B", false}, {"A", true}});
    auto strange = numberProperty("Camera", "STRANGE", "Main", {{"X", 1}, {"Y", 2}});
    strange->type = static_cast<indigo_property_type>(7);
    const Case cases[] = {
        {"no items", textProperty("Camera", "EMPTY", "Main", {}), {}, 0},
        {"three lights", light, {"A", "B", "C"}, 3},
        {"a name twice", twice, {"A", "B", "A"}, 2},
        {"type code 7", strange, {"X", "Y"}, 0},
    };
    Model model;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto property = model.file(c.record);
        EXPECT_EQ(property->itemNames(), c.itemNames);
        EXPECT_EQ(property->items().size(), c.items);
    }

    const auto lights = model.device->property("LIGHTS");
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(lights->item<INDIGO::LightItem>(lights->itemNames()[i]), nullptr);
    EXPECT_EQ(lights->item<INDIGO::LightItem>("B")->value(), INDIGO_BUSY_STATE);
    light->items[1].light.value = INDIGO_OK_STATE;
    EXPECT_EQ(lights->item<INDIGO::LightItem>("B")->value(), INDIGO_OK_STATE) << "read live from the record";
    EXPECT_EQ(lights->item<INDIGO::SwitchItem>("B"), nullptr) << "wrong kind";

    // The later of two items of one name is the one kept.
    EXPECT_EQ(model.device->property("TWICE")->item("A")->item(), twice->items + 2);
}

TEST(BusModel, FilingKeepsTheFirstObjectAndSortsByGroup) {
    Model model;
    const auto connection = model.file(switchProperty("Camera", "CONNECTION", "Main", {{"CONNECTED", false}}));
    const auto exposure = model.file(numberProperty("Camera", "CCD_EXPOSURE", "Camera", {{"EXPOSURE", 1}}));
    const auto frame = model.file(numberProperty("Camera", "CCD_FRAME", "Camera", {{"WIDTH", 640}}));
    EXPECT_EQ(model.device->connectionProperty(), connection);

    // The same name again, even with another record and group, gives the first object back.
    auto again = model.file(numberProperty("Camera", "CONNECTION", "Other", {{"X", 0}}));
    EXPECT_EQ(again, connection);
    EXPECT_EQ(model.device->connectionProperty(), connection);
    EXPECT_EQ(model.device->groups().size(), 2u);
    EXPECT_EQ(model.device->group("Other"), nullptr);
    EXPECT_EQ(again->itemNames(), std::vector<std::string>{"CONNECTED"});

    const auto camera = model.device->group("Camera");
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->properties().size(), 2u);
    EXPECT_EQ(camera->property("CCD_FRAME"), frame);
    EXPECT_EQ(model.device->group("Main")->property("CONNECTION"), connection);
    EXPECT_EQ(exposure->device(), model.device);
    EXPECT_EQ(exposure->group(), "Camera");
    EXPECT_EQ(model.device->description(), "Camera");
    EXPECT_EQ(camera->description(), "Camera");

    // Taking properties out drops a group only with its last property.
    EXPECT_EQ(model.device->removeProperty("CCD_FRAME"), frame);
    EXPECT_NE(model.device->group("Camera"), nullptr);
    EXPECT_EQ(model.device->removeProperty("CCD_EXPOSURE"), exposure);
    EXPECT_EQ(model.device->group("Camera"), nullptr);
    EXPECT_EQ(model.device->removeProperty("CCD_EXPOSURE"), nullptr);
}

TEST(BusModel, PropertyAccessorsReadTheRecordLive) {
    struct Case {
        int perm;
        int state;
        bool readOnly;
        const char* description;
        std::string_view image;
    };
    const Case cases[] = {
        {1, 0, true, "Idle", "NSStatusNone"},
        {2, 1, false, "OK", "NSStatusAvailable"},
        {3, 2, false, "Busy", "NSStatusPartiallyAvailable"},
        {2, 3, false, "Alert", "NSStatusUnavailable"},
    };
    Model model;
    auto record = model.file(textProperty("Camera", "INFO", "Main", {{"DEVICE_NAME", "Simulator"}}))->property();
    const auto info = model.device->property("INFO");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        record->perm = static_cast<indigo_property_perm>(c.perm);
        record->state = static_cast<indigo_property_state>(c.state);
        EXPECT_EQ(info->readOnly(), c.readOnly);
        EXPECT_EQ(info->state(), c.state);
        EXPECT_EQ(info->stateDescription(), c.description);
        EXPECT_EQ(info->stateImageName(), c.image);
        EXPECT_FALSE(info->stateImage().isNull());
    }
    EXPECT_EQ(info->type(), INDIGO_TEXT_VECTOR);
    EXPECT_EQ(info->version(), 0x200);
    EXPECT_EQ(info->description(), "INFO");

    const auto name = info->item<INDIGO::TextItem>("DEVICE_NAME");
    EXPECT_EQ(name->value(), "Simulator");
    indigo_copy_value(record->items[0].text.value, "Other \xc2\xb0");
    EXPECT_EQ(name->value(), "Other \xc2\xb0");
    // Text that is not UTF-8 reads as empty.
    std::strcpy(record->items[0].text.value, "bad \xff byte");
    std::strcpy(record->label, "\xc3\x28");
    EXPECT_EQ(name->value(), "");
    EXPECT_EQ(info->description(), "");
    EXPECT_EQ(name->description(), "DEVICE_NAME");

    const auto exposure = model.file(numberProperty("Camera", "CCD_EXPOSURE", "Camera", {{"EXPOSURE", 1.5}}));
    const auto value = exposure->item<INDIGO::NumberItem>("EXPOSURE");
    exposure->property()->items[0].number.target = 3;
    EXPECT_EQ(value->value(), 1.5);
    EXPECT_EQ(value->target(), 3);
    EXPECT_EQ(value->min(), -1e9);
    EXPECT_EQ(value->max(), 1e9);
    EXPECT_EQ(value->step(), 1);
    EXPECT_EQ(value->format(), "%g");
}

TEST(BusModel, PropertyKeptByAControllerStaysReadableAfterTheRecordsMakerIsGone) {
    auto device = std::make_shared<INDIGO::Device>("Camera");
    indigo_property* record = numberProperty("Camera", "CCD_TEMPERATURE", "Camera", {{"TEMPERATURE", -10}});
    auto property = device->lookupProperty(record);
    auto item = property->item<INDIGO::NumberItem>("TEMPERATURE");
    device->clear();
    indigo_release_property(record); // the device is gone with its record
    property.reset();
    // The item alone still holds the record; under ASan a freed record would be caught here.
    EXPECT_EQ(item->value(), -10);
    EXPECT_EQ(item->name(), "TEMPERATURE");
}

TEST(BLOBItem, FormatComesFromTheURLPathOrTheFormatField) {
    struct Case {
        const char* url;
        const char* field;
        const char* format;
    };
    const Case cases[] = {
        {"", ".jpeg", ".jpeg"},
        {"http://127.0.0.1:7624/blob/0x1f2e.fits", ".raw", ".fits"},
        {"http://host/images/frame.2.nef", "", ".nef"},
        {"http://host/blob", ".fits", "./blob"},
        {"https://host/a%20b.jpeg?x=1", "", ".jpeg"},
        {"http://host/ spaces not allowed", ".raw", ".raw"},
    };
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    const auto image = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        indigo_copy_value(record->items[0].blob.url, c.url);
        indigo_copy_name(record->items[0].blob.format, c.field);
        EXPECT_EQ(image->format(), c.format);
    }
}

TEST(BLOBItem, WithoutBytesThereIsNeitherValueNorImage) {
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    indigo_copy_name(record->items[0].blob.format, ".fits");
    record->items[0].blob.size = 100;
    const auto item = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");
    EXPECT_TRUE(item->value().empty());
    EXPECT_EQ(item->format(), ".fits");
    EXPECT_EQ(item->image(), nullptr);
    // A negative size with bytes present is no size either.
    std::uint8_t bytes[4] = {1, 2, 3, 4};
    record->items[0].blob.value = bytes;
    record->items[0].blob.size = -4;
    EXPECT_TRUE(item->value().empty());
}

TEST(BLOBItem, BytesAreCopiedOncePerUpdateAndResetEmptiesTheCache) {
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    std::vector<std::uint8_t> first = {1, 2, 3}, second = {4, 5, 6, 7};
    record->items[0].blob.value = first.data();
    record->items[0].blob.size = 3;
    const auto item = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");

    const zeta::platform::Data once = item->value();
    ASSERT_EQ(once.length(), 3u);
    // The device writes the next frame: the cache still holds the first until a reset.
    record->items[0].blob.value = second.data();
    record->items[0].blob.size = 4;
    const zeta::platform::Data twice = item->value();
    EXPECT_EQ(twice.bytes(), once.bytes()) << "the same bytes, not loaded again";
    ASSERT_TRUE(item->lock().try_lock()) << "the lock is left free";
    item->lock().unlock();

    item->reset();
    const zeta::platform::Data next = item->value();
    ASSERT_EQ(next.length(), 4u);
    EXPECT_EQ(next.bytes()[3], 7);
    EXPECT_EQ(once.bytes()[0], 1) << "bytes handed out earlier stay as they were";
}

TEST(BLOBItem, EventValueIsHadWhileTheLockIsHeldElsewhere) {
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    std::vector<std::uint8_t> bytes = {9, 8, 7};
    record->items[0].blob.value = bytes.data();
    record->items[0].blob.size = 3;
    const auto item = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");
    {
        LockHolder busy(item->lock());
        EXPECT_TRUE(item->value().empty()) << "value() only tries the lock";
        const zeta::platform::Data saved = item->eventValue();
        ASSERT_EQ(saved.length(), 3u);
        EXPECT_EQ(saved.bytes()[2], 7);
    }
    EXPECT_EQ(item->eventValue().length(), 3u);
}

TEST(BLOBItem, ImageIsDecodedOncePerUpdate) {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    auto frame = rawFrame("RAW2", 2, 1, {0x34, 0x12, 0xff, 0xff});
    record->items[0].blob.value = frame.data();
    record->items[0].blob.size = static_cast<std::int64_t>(frame.size());
    indigo_copy_name(record->items[0].blob.format, ".raw");
    const auto item = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");

    const auto image = item->image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), 2);
    EXPECT_EQ(image->height(), 1);
    EXPECT_EQ(image->bitsPerPixel(), 16);
    EXPECT_EQ(image->format(), ".raw");
    EXPECT_EQ(item->image(), image);
    item->reset();
    EXPECT_NE(item->image(), image);

    // Bytes that nothing decodes still give an image, without a bitmap.
    std::vector<std::uint8_t> junk = {'j', 'u', 'n', 'k'};
    record->items[0].blob.value = junk.data();
    record->items[0].blob.size = 4;
    item->reset();
    const auto undecoded = item->image();
    ASSERT_NE(undecoded, nullptr);
    EXPECT_EQ(undecoded->originalImageRep(), nullptr);
}

TEST(BLOBItem, ALockHeldElsewhereIsNeverWaitedFor) {
    zeta::platform::ImageRep::registerImageRepClass<INDIGO::RawImageRep>();
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    auto frame = rawFrame("RAW1", 1, 1, {9});
    record->items[0].blob.value = frame.data();
    record->items[0].blob.size = static_cast<std::int64_t>(frame.size());
    const auto item = model.file(record)->item<INDIGO::BLOBItem>("IMAGE");

    {
        LockHolder holder(item->lock());
        EXPECT_TRUE(item->value().empty()) << "nothing cached yet, nothing loaded";
        EXPECT_EQ(item->image(), nullptr);
    }
    EXPECT_EQ(item->value().length(), frame.size()) << "nothing was cached while the lock was held";
    {
        LockHolder holder(item->lock());
        EXPECT_EQ(item->value().length(), frame.size()) << "what is cached is handed out";
        EXPECT_EQ(item->image(), nullptr) << "but nothing is decoded";
    }
    const auto image = item->image();
    ASSERT_NE(image, nullptr);

    // A reset that finds the lock held cannot empty the cache, but the old frame is not
    // handed out as the new one.
    auto next = rawFrame("RAW1", 2, 1, {1, 2});
    record->items[0].blob.value = next.data();
    record->items[0].blob.size = static_cast<std::int64_t>(next.size());
    {
        LockHolder holder(item->lock());
        item->reset();
        EXPECT_TRUE(item->value().empty());
        EXPECT_EQ(item->image(), nullptr);
    }
    const auto decoded = item->image();
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->width(), 2);
    EXPECT_EQ(item->value().length(), next.size());
}

TEST(BLOBItem, BytesOfADeletedPropertyAreNotReadFromTheDevice) {
    Model model;
    indigo_property* record = blobProperty("Camera", "CCD_IMAGE", "Camera", "IMAGE");
    std::vector<std::uint8_t> bytes = {1, 2, 3};
    record->items[0].blob.value = bytes.data();
    record->items[0].blob.size = 3;
    const auto property = model.file(record);
    const auto item = property->item<INDIGO::BLOBItem>("IMAGE");
    EXPECT_EQ(item->value().length(), 3u);
    property->markDeleted();
    EXPECT_EQ(item->value().length(), 3u) << "the cache is still handed out";
    item->reset();
    EXPECT_TRUE(item->value().empty()) << "the device's buffer may be gone";
}
