// Making, starting and ending the one INDIGO client.

#include "Common/device.h"
#include "Common/indigo_client.h"
#include "Common/indigo_delegate.h"
#include "imaging/video_log.h"
#include "indigo/indigo_log.h"
#include "indigo/indigo_property.h"
#include "platform/constants.h"
#include "platform/system_log.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

std::atomic<INDIGO*>& INDIGO::publishedInstance() {
    static std::atomic<INDIGO*> instance{nullptr};
    return instance;
}

std::atomic<int>& INDIGO::instanceUsers() {
    static std::atomic<int> users{0};
    return users;
}

INDIGO::InstanceUse::InstanceUse() {
    instanceUsers().fetch_add(1, std::memory_order_seq_cst);
    self = publishedInstance().load(std::memory_order_seq_cst);
}

INDIGO::InstanceUse::~InstanceUse() {
    instanceUsers().fetch_sub(1, std::memory_order_release);
}

INDIGO::INDIGO()
    : delegates_(std::make_shared<const std::vector<INDIGODelegate*>>()), services_(makeServices()),
      requestQueue_(std::make_unique<dispatch::SerialQueue>("indigoRequestQueue")) {
    indigo_copy_name(client_.name, APP_NAME().c_str());
    client_.is_remote = false;
    client_.client_context = this;
    client_.last_result = INDIGO_OK;
    client_.version = INDIGO_VERSION_2_0;
    client_.enable_blob_mode_records = nullptr;
    client_.attach = &INDIGO::clientAttach;
    client_.define_property = &INDIGO::clientDefineProperty;
    client_.update_property = &INDIGO::clientUpdateProperty;
    client_.delete_property = &INDIGO::clientDeleteProperty;
    client_.send_message = &INDIGO::clientSendMessage;
    client_.detach = &INDIGO::clientDetach;
}

INDIGO::~INDIGO() {
    // Bonjour reports and the server tasks stop before the client goes.
    stopServices();
    // Requests already made still go out, while the client is attached.
    requestQueue_.reset();
    // From here on the bus callbacks leave this object alone; those already inside finish first.
    INDIGO* self = this;
    if (publishedInstance().compare_exchange_strong(self, nullptr, std::memory_order_seq_cst)) {
        while (instanceUsers().load(std::memory_order_acquire) != 0)
            std::this_thread::yield();
    }
    if (started_.load()) indigo_detach_client(&client_);
    // Properties own their device: break the loop so that both go.
    std::unique_lock lock(modelMutex_);
    for (auto& [name, device] : devices_)
        device->clear();
    devices_.clear();
}

void INDIGO::setInProcessDrivers(std::vector<driver_entry_point> drivers) {
    inProcessDrivers_ = std::move(drivers);
}

void INDIGO::startWithLocalServer(bool localServer, bool remoteServices) {
    if (started_.exchange(true)) return;
    publishedInstance().store(this, std::memory_order_release);
    messageSyncQueue_.sync([this] { timeFormat_.setFormat("HH:mm:ss.SSS"); });
    indigo_log_message_handler = &INDIGO::logMessageHandler;
    // The video writers' lines for the user reach the message log of the running client;
    // with none running they still reach the system log.
    zeta::imaging::video::setMessageSink([](const std::string& text) {
        const InstanceUse use;
        if (use.self != nullptr)
            use.self->message(text);
        else
            zeta::platform::systemLog(text);
    });

    // The setting is the preferences' popup index; anything outside the bus's levels is clamped.
    const long long level = DEFAULTS().integerForKey("indigoLogLevel", 0);
    indigo_set_log_level(
        static_cast<indigo_log_levels>(std::clamp<long long>(level, INDIGO_LOG_ERROR, INDIGO_LOG_TRACE)));

    const std::string firmware = MAIN_BUNDLE().resourcePath().string();
    ::setenv("INDIGO_FIRMWARE_BASE", firmware.c_str(), 1);

    if (localServer) indigo_start_usb_event_handler();
    indigo_start();

    tellDelegates([](INDIGODelegate* delegate) { delegate->initialize(); });

    indigo_attach_client(&client_);

    for (driver_entry_point driver : inProcessDrivers_)
        indigo_add_driver(driver, true, nullptr);

    if (localServer) {
        startServer();
        readDriverCatalogue();
    }
    if (remoteServices) startBrowsing();

    message("INDIGO Started...");
}
