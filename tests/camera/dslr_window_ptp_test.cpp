// The DSLR window, offscreen, with a simulated PTP camera driven by the in-process camera
// driver: a bulb batch saved byte for byte, and a camera unplugged in the middle of a run.

#include "Common/device.h"
#include "camera/camera_widget.h"
#include "camera/dslr_window.h"
#include "capture_fixture.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_driver.h"
#include "platform/camera/simulated_device_source.h"
#include "widget_fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace camera_test;
using zeta::platform::SimulatedCamera;

namespace {

// The one device source of the process (the driver's browser is made once).
std::shared_ptr<zeta::platform::SimulatedDeviceSource> source() {
    static const auto made = [] {
        auto s = std::make_shared<zeta::platform::SimulatedDeviceSource>();
        EXPECT_TRUE(indigo_ccd_ica_use_device_sources({s}));
        return s;
    }();
    return made;
}

// A camera whose shutter is on "Bulb" and whose every picture is a different JPEG, kept here.
struct BulbCamera {
    std::shared_ptr<SimulatedCamera> camera = SimulatedCamera::preset("generic");
    std::shared_ptr<std::vector<Bytes>> taken = std::make_shared<std::vector<Bytes>>();
    std::shared_ptr<std::mutex> mutex = std::make_shared<std::mutex>();

    BulbCamera() {
        auto shutter = *camera->property(PTPPropertyCodeExposureTime);
        shutter.enumeration->push_back(int64_t{0xFFFFFFFF});
        shutter.value = int64_t{0xFFFFFFFF};
        camera->setProperty(shutter);
        std::weak_ptr<SimulatedCamera> weak = camera;
        camera->setHandler(PTPRequestCodeInitiateCapture, [weak, taken = taken, mutex = mutex](const auto&) {
            const auto self = weak.lock();
            if (!self) return zeta::platform::SimulatedReply{};
            // The shutter stays open as long as the window asked (0.2 s).
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            std::lock_guard lock(*mutex);
            const int number = static_cast<int>(taken->size()) + 1;
            const auto jpeg = SimulatedCamera::sampleJPEG(number);
            taken->emplace_back(jpeg.begin(), jpeg.end());
            char name[32];
            std::snprintf(name, sizeof name, "DSC_%04d.JPG", number);
            self->setCaptureFile(name, jpeg);
            self->takePicture();
            return zeta::platform::SimulatedReply{};
        });
    }
    std::vector<Bytes> pictures() const {
        std::lock_guard lock(*mutex);
        return *taken;
    }
};

class DslrWindowPtp : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        zeta::platform::setSystemLogHandler([](std::string_view) {});
        std::filesystem::create_directories(captures);
        indigo = std::make_shared<INDIGO>();
        for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image})
            c->setIndigo(indigo);
        controller.setImageController(&image);
        controller.setBatchController(&batch);
        batch.setFolder(captures.string());
        window = std::make_unique<zeta::camera::DslrWindow>(controller);
        window->show();
        source()->plug(bulb.camera);
        indigo->startWithLocalServer(false, false);
        ASSERT_EQ(indigo_add_driver(indigo_ccd_ica, true, &driver), INDIGO_OK);
        controller.awakeFromNib();
    }
    void TearDown() override {
        controller.retireBackgroundRequests();
        if (bulb.camera->isPlugged()) source()->unplug(bulb.camera);
        if (driver) indigo_remove_driver(driver);
        indigo.reset();
        for (BaseController* c : std::initializer_list<BaseController*>{&controller, &batch, &image})
            c->setIndigo(nullptr);
        QCoreApplication::processEvents();
        window.reset();
        zeta::platform::setSystemLogHandler({});
    }

    zeta::camera::CameraWidget& cameraWidget() { return *window->cameraWidget(); }
    bool idle() { return !controller.previewInProgress() && !controller.captureInProgress(); }

    // Chooses the camera in the popup and waits until its shutter shows "Bulb".
    void connectBulbCamera() {
        QComboBox* cameras = cameraWidget().camerasPopUp();
        ASSERT_TRUE(waitFor([&] { return cameras->findText("Simulated Camera") >= 0; }));
        const int index = cameras->findText("Simulated Camera");
        cameras->setCurrentIndex(index);
        emit cameras->activated(index);
        ASSERT_TRUE(waitFor([&] {
            return window->dslrPopUp(zeta::camera::DslrSetting::Shutter)->currentText() == "Bulb" &&
                   cameraWidget().durationsCombo()->isEnabled();
        }));
    }

    test_support::TempDir folder{"zeta-dslr-window"};
    std::filesystem::path captures = folder.path() / "captures";
    zeta::platform::UserDefaults defaults{folder.path() / "defaults.json"};
    ImageController image;
    BatchController batch{&defaults};
    ZTCameraController controller{defaults};
    std::shared_ptr<INDIGO> indigo;
    std::unique_ptr<zeta::camera::DslrWindow> window;
    BulbCamera bulb;
    indigo_driver_entry* driver = nullptr;
};

TEST_F(DslrWindowPtp, ABulbBatchSavesTheCamerasPicturesByteForByte) {
    connectBulbCamera();
    cameraWidget().durationsCombo()->setCurrentText("0.2");
    cameraWidget().countsCombo()->setCurrentText("3");
    cameraWidget().nameTemplateField()->setText("IMG");
    EXPECT_EQ(cameraWidget().countsCombo()->count(), 12); // the window's own list of counts

    QTest::mouseClick(window->captureButton(), Qt::LeftButton);
    std::vector<std::string> progress;
    const auto follow = [&] {
        const std::string text = cameraWidget().batchField()->text().toStdString();
        if (progress.empty() || progress.back() != text) progress.push_back(text);
    };
    ASSERT_TRUE(waitFor([&] {
        follow();
        return controller.captureInProgress();
    }));
    const bool ended = waitFor([&] {
        follow();
        return idle();
    });
    ASSERT_TRUE(ended);
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    follow();

    const auto pictures = bulb.pictures();
    ASSERT_EQ(pictures.size(), 3u);
    ASSERT_EQ(filesIn(captures), (std::vector<std::string>{"IMG_001.jpeg", "IMG_002.jpeg", "IMG_003.jpeg"}));
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(readFile(captures / filesIn(captures)[i]), pictures[i]) << i;
    // The field counts the frames handed to the batch, from 0 during the first exposure.
    const std::vector<std::string> order{"0/3", "1/3", "2/3", "--/--"};
    auto at = progress.begin();
    for (const std::string& text : order) {
        at = std::find(at, progress.end(), text);
        EXPECT_NE(at, progress.end()) << text;
    }
    EXPECT_EQ(progress.back(), "--/--");
    EXPECT_EQ(cameraWidget().stateImage()->property("statusImage").toString(), "NSStatusAvailable");
    EXPECT_TRUE(window->captureButton()->isEnabled());
    EXPECT_FALSE(window->captureButton()->isChecked());
}

TEST_F(DslrWindowPtp, UnpluggingTheCameraMidRunEndsItInAlert) {
    connectBulbCamera();
    cameraWidget().countsCombo()->setCurrentText("50");
    cameraWidget().timelapsesCombo()->setCurrentText("0");
    QTest::mouseClick(window->captureButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return filesIn(captures).size() >= 2; }));
    source()->unplug(bulb.camera);
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(cameraWidget().stateImage()->property("statusImage").toString(), "NSStatusUnavailable");
    bool told = false;
    for (const std::string& line : indigo->messages())
        // The run ends on whichever the driver reports first: the camera's departure or the
        // exposure it cut short.
        told = told || line.find("Capture stopped: the camera is no longer available") != std::string::npos ||
               line.find("Exposure failed on 'Simulated Camera'") != std::string::npos;
    EXPECT_TRUE(told);
    // What was saved is whole: each file is one of the camera's pictures.
    const auto pictures = bulb.pictures();
    const auto files = filesIn(captures);
    ASSERT_GE(files.size(), 2u);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(readFile(captures / files[i]), pictures.at(i)) << files[i];
}

} // namespace
