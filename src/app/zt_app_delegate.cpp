#include "app/zt_app_delegate.h"

#include "Common/indigo_client.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_server.h"
#include "platform/constants.h"
#include "platform/dispatch.h"

namespace zeta::app {

ZTAppDelegate::ZTAppDelegate(std::shared_ptr<IndigoAdmin> admin) {
    auto client = std::make_shared<INDIGO>();
    client->setInProcessDrivers({&indigo_ccd_ica});
    setIndigo(client);
    admin_ = admin ? std::move(admin) : makeIndigoAdmin(client);
    messagesController_ = std::make_unique<MessagesController>();
    driversController_ = std::make_unique<DriversController>(admin_);
    servicesController_ = std::make_unique<ServicesController>(admin_);
    messagesController_->setIndigo(client);
    driversController_->setIndigo(client);
    servicesController_->setIndigo(client);
    deviceController_ = std::make_unique<DeviceController>();
    propertiesController_ = std::make_unique<PropertiesController>();
    propertiesController_->setIndigo(client);
}

ZTAppDelegate::~ZTAppDelegate() = default;

void ZTAppDelegate::addWindowController(BaseController* controller) {
    if (controller == nullptr) return;
    windowControllers_.push_back(controller);
    controller->setIndigo(indigo());
}

bool ZTAppDelegate::canQuit() {
    if (cameraWindow_.previewInProgress.load() || cameraWindow_.captureInProgress.load()) return false;
    for (BaseController* controller : windowControllers_) {
        if (!controller->canQuit()) return false;
    }
    return true;
}

void ZTAppDelegate::applicationDidFinishLaunching() {
    // Z1
    indigo_server_tcp_port = 0;
    // Z2
    indigo()->startWithLocalServer(true, true);
    deviceController_->initialize();
    // Every window hears of the devices already on the bus, not only those that come later.
    dispatch::globalQueue().async(
        [client = indigo()] { indigo_enumerate_properties(client->client(), INDIGO_ALL_PROPERTIES); });
    // Z3
    indigo_add_driver(&indigo_ccd_ica, true, nullptr);
    // Z4
    MARKER_COLOR() = DEFAULTS().colorForKey("markerColor", MARKER_COLOR());
    GRAPH_COLOR_1() = DEFAULTS().colorForKey("graphColor1", GRAPH_COLOR_1());
    GRAPH_COLOR_2() = DEFAULTS().colorForKey("graphColor2", GRAPH_COLOR_2());
    if (window() != nullptr)
        window()->setBackgroundColor(DEFAULTS().colorForKey("backgroundColor", window()->backgroundColor()));
    // Z5
    ApplicationDelegate::applicationDidFinishLaunching();
}

void ZTAppDelegate::preferences() {
    if (preferencePanel() == nullptr) return;
    const platform::Color background = window() != nullptr ? window()->backgroundColor() : platform::Color::white();
    preferencePanel()->setValues(loadPreferences(DEFAULTS(), background));
    driversController_->loadPreferences();
    servicesController_->loadPreferences();
    preferencePanel()->beginSheet();
}

void ZTAppDelegate::preferencesOK() {
    if (preferencePanel() == nullptr) return;
    preferencePanel()->endSheet();
    const PreferencesValues values = preferencePanel()->values();
    MARKER_COLOR() = values.markerColor;
    GRAPH_COLOR_1() = values.graphColor1;
    GRAPH_COLOR_2() = values.graphColor2;
    if (window() != nullptr) window()->setBackgroundColor(values.backgroundColor);
    storePreferences(DEFAULTS(), values);
    indigo_set_log_level(static_cast<indigo_log_levels>(values.logLevel));

    driversController_->savePreferences();
    servicesController_->savePreferences();
    servicesController_->savePreferences();
    for (BaseController* controller : windowControllers_)
        controller->savePreferences();

    // The restart shuts the old server down and waits for it before binding again.
    dispatch::globalQueue().async([admin = admin_] { admin->restartServer(); });
    dispatch::globalQueue().async([admin = admin_] { admin->restart(); });
    indigo_add_driver(&indigo_ccd_ica, true, nullptr);
    DEFAULTS().synchronize();
}

} // namespace zeta::app
