#pragma once
// The DSLR window: the camera window's controls (duration, mode, counts, interval, name,
// state light, frame rate, batch progress) with the ten DSLR setting popups, the battery
// image and the run buttons (live view with zoom, single and endless preview, capture, stop,
// folder, preferences). It shows what ZTCameraController says and forwards the actions.

#include "camera/zt_camera_view.h"

#include <QWidget>
#include <array>
#include <functional>

class QAction;
class QComboBox;
class QFormLayout;
class QLabel;
class QPushButton;
class ZTCameraController;

namespace zeta::camera {

class CameraWidget;

class DslrWindow final : public QWidget, public ZTCameraView {
    Q_OBJECT
public:
    // The controller must outlive the window; the window sets itself (and its camera widget)
    // as the controller's views.
    explicit DslrWindow(ZTCameraController& controller, QWidget* parent = nullptr);
    ~DslrWindow() override;

    // The preferences button opens what this runs.
    void setPreferencesHandler(std::function<void()> handler) { preferences_ = std::move(handler); }

    // ZTCameraView.
    void showRunControls(const RunControls& controls) override;
    void showDslrPopup(DslrSetting setting, const std::vector<SwitchEntry>& entries, int selected) override;
    std::optional<std::string> dslrSelectedTitle(DslrSetting setting) const override;
    std::optional<std::string> dslrSelectedItem(DslrSetting setting) const override;
    void showBattery(std::string_view image) override;
    void showBatchProgress(const std::string& text) override;
    void showDurationItems(const std::vector<int>& seconds) override;
    void showCountItems(const std::vector<int>& counts) override;
    void showCount(double count) override;
    double timelapse() const override;
    std::optional<std::string> chooseFolder(const std::string& start) override;
    void showRows(const CameraRows& rows) override;
    void showCaptureFolder(const std::string& folder) override;
    void showFocusStacking(const std::string& notice) override;

    // The controls, for menus and tests.
    CameraWidget* cameraWidget() const { return camera_; }
    QComboBox* dslrPopUp(DslrSetting setting) const { return popups_[indexOf(setting)]; }
    QLabel* batteryLevelView() const { return battery_; }
    QPushButton* liveViewButton() const { return liveView_; }
    QPushButton* liveViewZoomButton() const { return zoom_; }
    QPushButton* liveViewStopButton() const { return liveViewStop_; }
    QPushButton* capturePreview1Button() const { return preview1_; }
    QPushButton* capturePreviewButton() const { return preview_; }
    QPushButton* captureButton() const { return capture_; }
    QPushButton* captureStopButton() const { return captureStop_; }
    QPushButton* captureFolderButton() const { return folder_; }
    QPushButton* prefsButton() const { return prefs_; }
    QLabel* captureFolderField() const { return folderPath_; }
    QLabel* focusStackingField() const { return focusStacking_; }
    // The live-view menu item; the main window may put it in a menu.
    QAction* liveViewMenu() const { return liveViewMenu_; }

private:
    ZTCameraController& controller_;
    CameraWidget* camera_ = nullptr;
    std::array<QComboBox*, kDslrSettings> popups_{};
    QFormLayout* settings_ = nullptr;
    QLabel* battery_ = nullptr;
    QPushButton* liveView_ = nullptr;
    QPushButton* zoom_ = nullptr;
    QPushButton* liveViewStop_ = nullptr;
    QPushButton* preview1_ = nullptr;
    QPushButton* preview_ = nullptr;
    QPushButton* capture_ = nullptr;
    QPushButton* captureStop_ = nullptr;
    QPushButton* folder_ = nullptr;
    QPushButton* prefs_ = nullptr;
    QAction* liveViewMenu_ = nullptr;
    QLabel* folderPath_ = nullptr;
    QLabel* focusStacking_ = nullptr;
    std::function<void()> preferences_;
};

} // namespace zeta::camera
