#pragma once
// INDIGO: the application's one client of the INDIGO bus. It starts the bus, keeps the live
// model of devices, groups, properties and items in step with the bus, hands every bus event
// to the registered delegates in registration order, sends the windows' change requests and
// keeps the message log the user sees.
//
// Threads
// - Define, update and delete (from the bus callbacks or from defineProperty() and kin) are
//   applied to the model and handed to the delegates on the serial queue "indigoSyncQueue",
//   while the delivering thread waits (the queue runs such tasks on the waiting thread itself
//   once their turn has come, see InlineSerialQueue). A delegate running there must not wait for work that
//   itself enters that queue. An event that arrives on that queue's own thread (a delegate
//   calling back into the model) is applied in place instead of deadlocking.
// - The message log is changed only on the serial queue "messageSyncQueue"; readers copy it
//   out with messages() or read it inside a task of that queue (messagesOnQueue()).
// - Change requests are copied on the caller's thread and sent, one at a time and in the
//   order they were made, from the serial queue "indigoRequestQueue".
// - The model maps may be read from any thread (lookups take a short lock); the property and
//   item objects read their values live from the bus's records without a lock.
//
// Lifetime: one INDIGO lives for the whole process. Registered delegates must outlive it
// (they are never removed). The destructor sends the requests still queued, detaches the
// client and takes the published instance back.

#include "Common/inline_serial_queue.h"
#include "Common/string_map.h"
#include "Common/time_format.h"
#include "indigo/indigo_bus.h"
#include "indigo/indigo_driver.h"
#include "platform/dispatch.h"
#include "platform/system_log.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class INDIGODelegate;
namespace zeta::platform {
class DnsSd;
}

class INDIGO {
public:
    class Device;
    class Group;
    class Property;
    class Item;
    class TextItem;
    class NumberItem;
    class SwitchItem;
    class LightItem;
    class BLOBItem;
    class RawImageRep;
    // A driver of the catalogue (Common/driver.h).
    class Driver;

    // A server found by Bonjour ("_indigo._tcp" or "_indi._tcp"), as the services list shows it.
    struct Service {
        std::string name;
        std::string type;
        std::string domain;
        std::string host;    // the resolved host name; empty until resolved
        std::string address; // the resolved address, which is what gets connected
        int port = 0;        // 0 until resolved
        bool connected = false;
        bool own = false; // this application's own published server
    };
    // A server connected by host and port (addServer).
    struct ConfiguredServer {
        indigo_server_entry* entry = nullptr;
        std::string host;
        int port = 0;
    };

    // Item name to value, sent in this order.
    using NumberValues = std::vector<std::pair<std::string, double>>;
    using TextValues = std::vector<std::pair<std::string, std::string>>;

    // The most log entries kept; the oldest goes first.
    static constexpr std::size_t kMaxMessages = 10001;
    // Longest item or device name and longest text value a request may carry, in UTF-8 bytes
    // (the bus's fields, without their terminator).
    static constexpr std::size_t kMaxNameBytes = INDIGO_NAME_SIZE - 1;
    static constexpr std::size_t kMaxTextBytes = INDIGO_VALUE_SIZE - 1;

    INDIGO();
    ~INDIGO();
    INDIGO(const INDIGO&) = delete;
    INDIGO& operator=(const INDIGO&) = delete;

    // The started client, or nullptr before startWithLocalServer().
    static INDIGO* instance();

    // Starts the bus on the calling (main) thread: publishes the instance, sets the log time
    // format and the bus's log hook and level ("indigoLogLevel"), sets INDIGO_FIRMWARE_BASE,
    // starts the bus, runs every delegate's initialize(), attaches the client, adds the
    // in-process drivers, then (with a local server) the server and the driver catalogue and
    // (with remote services) the service browsing, and logs "INDIGO Started...". Runs once;
    // a second call does nothing.
    void startWithLocalServer(bool localServer, bool remoteServices);

    // In-process drivers added to the bus at start (the application's camera driver).
    void setInProcessDrivers(std::vector<driver_entry_point> drivers);

    // This client's bus record.
    indigo_client* client() { return &client_; }

    // --- Model -------------------------------------------------------------------------------

    // Every device on the bus, by name (a copy of the map).
    StringMap<std::shared_ptr<Device>> devices() const;
    // One device, or nullptr.
    std::shared_ptr<Device> device(std::string_view name) const;
    // The device named by the record's device field, made and stored when absent.
    std::shared_ptr<Device> lookupDevice(const indigo_property* record);

    // The model steps of the bus events; each runs on indigoSyncQueue and returns when the
    // model and every delegate are done. A null record is ignored.
    void defineProperty(indigo_property* record);
    void updateProperty(indigo_property* record);
    void deleteProperty(indigo_property* record);

    dispatch::Queue& indigoSyncQueue() { return indigoSyncQueue_; }

    // --- Delegates ---------------------------------------------------------------------------

    // Appends a delegate (BaseController::setIndigo does). A delegate added twice hears every
    // event twice.
    void addDelegate(INDIGODelegate* delegate);
    std::vector<INDIGODelegate*> delegates() const;

    // --- Message log -------------------------------------------------------------------------

    // Writes each line of the text to the system log, stores "HH:mm:ss.SSS text" in the log
    // and hands the text to every delegate's message() on the calling thread. Any thread.
    void message(std::string_view text);
    // Empties the log and tells the delegates "Log cleared...".
    void clearMessages();
    // A copy of the log, oldest first.
    std::vector<std::string> messages() const;
    std::size_t messageCount() const;
    // The log itself, for readers running a task of messageSyncQueue (the log window).
    const std::deque<std::string>& messagesOnQueue() const;
    dispatch::Queue& messageSyncQueue() const { return messageSyncQueue_; }

    // --- Requests ----------------------------------------------------------------------------
    // Each copies what it needs on the caller's thread, queues the send and returns at once.
    // The outcome comes back as property updates. A request whose names or texts do not fit
    // the bus's fields is refused with a log line and nothing is sent.

    // Sets one switch item; nothing is sent without a property or when it has no such item.
    void setSwitchItem(const std::shared_ptr<Property>& property, std::string_view name, bool value);
    // Sends every pair, in order, whatever the property's items; nothing without a property.
    void setNumberItems(const std::shared_ptr<Property>& property, const NumberValues& values);
    void setTextItems(const std::shared_ptr<Property>& property, const TextValues& values);
    // The same by names, for devices and properties the model need not hold.
    void changeNumberProperty(std::string_view device, std::string_view property, const NumberValues& values);
    void changeSwitchProperty(std::string_view device, std::string_view property, std::string_view item, bool value);
    // Turns delivery of a BLOB property's data to this client on or off; other types are left alone.
    void enableBLOB(const std::shared_ptr<Property>& property, bool enable);

    // --- Servers and Bonjour -----------------------------------------------------------------
    // services() and configuredServers() are copies, safe on any thread. Bonjour reports and
    // resolutions are handled on the main queue, where services change; every change is
    // announced through the delegates' updateServices() on the thread of the change.

    // The Bonjour services found, except this application's own, in the order found.
    std::vector<Service> services() const;
    // The servers connected by addServer, in the order made.
    std::vector<ConfiguredServer> configuredServers() const;
    // Connects host:port and records the entry; nullptr (and nothing recorded) on failure.
    indigo_server_entry* addServer(std::string_view host, int port);
    // Disconnects the entry and drops it from configuredServers (the delegates are told only
    // when it was recorded there).
    void removeServer(indigo_server_entry* entry);
    // Asynchronously: ends the local server, waits until it has ended and its service is
    // withdrawn, and runs it again with the port, name and type read afresh.
    void restartServer();
    // Asynchronously: after 3 s, asks every device to define all its properties again.
    void restart();
    // The port the local server is bound to; 0 while it is not running.
    int serverPort() const;
    // The name under which the local server is published (after any rename a name conflict
    // forced); empty while it is not published.
    std::string publishedServiceName() const;
    // Registers the web control panel's files (bundle resources) with the local server.
    void addControlPanel();
    // Registers one file with the local server.
    static void addServerResource(const std::string& data, std::string_view path, std::string_view contentType);

    // --- Driver catalogue --------------------------------------------------------------------

    // Every catalogue driver by name (a copy of the map).
    StringMap<std::shared_ptr<Driver>> drivers() const;
    // The driver names, sorted by description.
    std::vector<std::string> driverNames() const;
    // One driver, or nullptr.
    std::shared_ptr<Driver> driver(std::string_view name) const;
    // Reads a catalogue file: each driver found is added (addCatalogueDriver) and loaded when
    // its "load_" setting says so. Runs on the calling thread; the loads run one by one on a
    // global queue while it waits.
    void readDriverCatalogue(const std::filesystem::path& file);
    // Adds a driver to drivers() and driverNames() (kept sorted) and announces it to every
    // delegate (addDriver).
    void addCatalogueDriver(const std::shared_ptr<Driver>& driver);

private:
    struct Request;
    void send(std::unique_ptr<Request> request);
    bool fits(const Request& request);

    void runOnSyncQueue(const std::function<void()>& step);
    void defineStep(indigo_property* record);
    void updateStep(indigo_property* record);
    void deleteStep(indigo_property* record);
    void removeProperty(const std::shared_ptr<Device>& device, const std::string& name);
    std::shared_ptr<const std::vector<INDIGODelegate*>> delegateList() const;
    template <class Call>
    void tellDelegates(Call&& call) const;

    void appendMessage(std::string_view text);

    // Start-up steps of the server, the driver catalogue and the service browsing.
    void startServer();
    void readDriverCatalogue();
    void startBrowsing();

    // Bus callbacks; they reach the object through instance().
    static indigo_result clientAttach(indigo_client* client);
    static indigo_result clientDefineProperty(indigo_client* client, indigo_device* device, indigo_property* property,
                                              const char* message);
    static indigo_result clientUpdateProperty(indigo_client* client, indigo_device* device, indigo_property* property,
                                              const char* message);
    static indigo_result clientDeleteProperty(indigo_client* client, indigo_device* device, indigo_property* property,
                                              const char* message);
    static indigo_result clientSendMessage(indigo_client* client, indigo_device* device, const char* message);
    static indigo_result clientDetach(indigo_client* client);
    static void logMessageHandler(const char* message);
    static void logEventMessage(INDIGO* self, const char* message);
    static std::atomic<INDIGO*>& publishedInstance();
    // The published instance for the length of one bus callback; the destructor waits for
    // every use to end after taking the instance back.
    struct InstanceUse {
        InstanceUse();
        ~InstanceUse();
        InstanceUse(const InstanceUse&) = delete;
        InstanceUse& operator=(const InstanceUse&) = delete;
        INDIGO* self;
    };
    static std::atomic<int>& instanceUsers();

    indigo_client client_{};
    std::atomic<bool> started_{false};
    std::vector<driver_entry_point> inProcessDrivers_;

    mutable std::shared_mutex modelMutex_;
    StringMap<std::shared_ptr<Device>> devices_;

    mutable std::mutex delegatesMutex_;
    std::shared_ptr<const std::vector<INDIGODelegate*>> delegates_;

    // Touched only on messageSyncQueue_.
    std::deque<std::string> messages_;
    TimeFormat timeFormat_;

    // The local server, the Bonjour side and the remote connections (indigo_services.cpp).
    struct Services;
    struct ServicesDeleter {
        void operator()(Services* services) const;
    };
    Services* makeServices();
    static void serverCallback(int clientCount);
    std::unique_ptr<Services, ServicesDeleter> services_;
    // Ends the Bonjour side and waits for the server tasks; the destructor calls it first.
    void stopServices();

    // The driver catalogue.
    mutable std::mutex driversMutex_;
    StringMap<std::shared_ptr<Driver>> drivers_;
    std::vector<std::string> driverNames_;

    InlineSerialQueue indigoSyncQueue_{"indigoSyncQueue"};
    mutable InlineSerialQueue messageSyncQueue_{"messageSyncQueue"};
    // Last: the queued requests are sent (and the worker joined) before anything else goes.
    std::unique_ptr<dispatch::SerialQueue> requestQueue_;
};

template <class Call>
void INDIGO::tellDelegates(Call&& call) const {
    const auto list = delegateList();
    for (INDIGODelegate* delegate : *list) {
        // A failing controller must not keep the others from hearing of the event, nor throw
        // into the bus.
        try {
            call(delegate);
        } catch (const std::exception& error) {
            zeta::platform::systemLog(std::string("INDIGO delegate failed: ") + error.what());
        } catch (...) {
            zeta::platform::systemLog("INDIGO delegate failed");
        }
    }
}
