// The administration controllers driven through fake views and a fake client, without a display.

#include "Common/indigo_client.h"
#include "app/application_delegate.h"
#include "app/application_view.h"
#include "app/drivers_controller.h"
#include "app/messages_controller.h"
#include "app/port_text.h"
#include "app/preferences_values.h"
#include "app/services_controller.h"
#include "batch/output_format.h"
#include "fake_admin.h"
#include "platform/constants.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

using namespace zeta::app;
using app_test::FakeAdmin;

namespace {

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct RecordingServicesView : ServicesView {
    int reloads = 0;
    bool removeEnabled = true;
    std::string host, port;
    void reloadServices() override { ++reloads; }
    void setRemoveEnabled(bool enabled) override { removeEnabled = enabled; }
    void setHostText(const std::string& text) override { host = text; }
    void setPortText(const std::string& text) override { port = text; }
    void showEntryError(const std::string& text) override { error = text; }
    std::string error;
};

} // namespace

TEST(PortText, DigitsOnlyWithinTheRange) {
    struct Case {
        std::string text;
        std::optional<int> port;
        int remote;
        int local;
    };
    const Case cases[] = {
        {"7625", 7625, 7625, 7625}, {"0", 0, 7624, 0},    {"65535", 65535, 65535, 65535},
        {"65536", {}, 7624, 0},     {"", {}, 7624, 0},    {"76 24", {}, 7624, 0},
        {"-5", {}, 7624, 0},        {"+80", {}, 7624, 0}, {"80x", {}, 7624, 0},
        {" 80", {}, 7624, 0},       {"8.5", {}, 7624, 0}, {"99999999999999999999", {}, 7624, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parsePortText(c.text), c.port) << c.text;
        EXPECT_EQ(ServicesController::remotePort(c.text), c.remote) << c.text;
        EXPECT_EQ(localPort(c.text), c.local) << c.text;
    }
}

TEST(PreferencesValues, NothingStoredShowsTheDefaultsAndStoresExactlyThem) {
    test_support::TempDir folder;
    zeta::platform::UserDefaults store(folder.path() / "prefs.json");
    const zeta::platform::Color background{0.2, 0.3, 0.4, 1};
    const PreferencesValues shown = loadPreferences(store, background);
    EXPECT_FALSE(shown.useMirrorLockup);
    EXPECT_TRUE(shown.avoidAF);
    EXPECT_TRUE(shown.deleteDownloadedImages);
    EXPECT_FALSE(shown.lockCameraGUI);
    EXPECT_EQ(shown.portText, "0");
    EXPECT_EQ(shown.serviceName, APP_NAME());
    EXPECT_EQ(shown.serviceType, "_indigo._tcp");
    EXPECT_EQ(shown.logLevel, 0);
    EXPECT_EQ(shown.markerColor, MARKER_COLOR());
    EXPECT_EQ(shown.backgroundColor, background);

    EXPECT_EQ(shown.outputFormat, "FITS");
    EXPECT_TRUE(shown.encodeFilter && shown.encodeMode && shown.encodeDuration);
    EXPECT_FALSE(shown.encodeTemperature);
    EXPECT_EQ(shown.aperture, 0);
    EXPECT_EQ(shown.focalLength, 0);
    EXPECT_FALSE(shown.useFahrenheit);
    EXPECT_FALSE(shown.showCrosshair);
    EXPECT_TRUE(shown.hidePanels);
    EXPECT_FALSE(shown.enableBLOBTransfer);

    storePreferences(store, shown);
    EXPECT_EQ(store.keys().size(), 23u);
    EXPECT_EQ(store.objectForKey("useMirrorLockup"), zeta::platform::DefaultsValue(false));
    EXPECT_EQ(store.objectForKey("avoidAF"), zeta::platform::DefaultsValue(true));
    EXPECT_EQ(store.objectForKey("indigoPortNumber"), zeta::platform::DefaultsValue(0LL));
    EXPECT_EQ(store.objectForKey("indigoServiceName"), zeta::platform::DefaultsValue(APP_NAME()));
    EXPECT_EQ(store.objectForKey("indigoLogLevel"), zeta::platform::DefaultsValue(0LL));
    EXPECT_EQ(store.colorForKey("backgroundColor", {}), background);
    EXPECT_EQ(loadPreferences(store, {}), shown);
}

TEST(PreferencesValues, TheSettingsOtherWindowsReadAreStoredUnderTheirKeys) {
    test_support::TempDir folder;
    zeta::platform::UserDefaults store(folder.path() / "prefs.json");
    PreferencesValues values = loadPreferences(store, {});
    values.outputFormat = "SER";
    values.encodeFilter = false;
    values.encodeTemperature = true;
    values.aperture = 200;
    values.focalLength = 1000.5;
    values.useFahrenheit = true;
    values.showCrosshair = true;
    values.hidePanels = false;
    values.enableBLOBTransfer = true;
    storePreferences(store, values);
    // Read back the way the windows read them.
    EXPECT_EQ(store.stringForKey("outputFormat", "FITS"), "SER");
    EXPECT_FALSE(store.boolForKey("encodeFilter", true));
    EXPECT_TRUE(store.boolForKey("encodeMode", false));
    EXPECT_TRUE(store.boolForKey("encodeTemperature", false));
    EXPECT_EQ(store.doubleForKey("aperture", 0), 200);
    EXPECT_EQ(store.doubleForKey("focalLength", 0), 1000.5);
    EXPECT_TRUE(store.boolForKey("useFahrenheit", false));
    EXPECT_TRUE(store.boolForKey("showCrosshair", false));
    EXPECT_FALSE(store.boolForKey("hidePanels", true));
    EXPECT_TRUE(store.boolForKey("enableBLOBTransfer", false));
    EXPECT_EQ(loadPreferences(store, {}), values);
}

TEST(OutputFormat, ChoicesAndTheValuesTheyStore) {
    using namespace zeta::batch;
    struct Case {
        std::string stored;
        std::size_t shown;
        bool video;
    };
    const Case cases[] = {{"FITS", 0, false}, {"", 0, false},   {"avi", 0, false},
                          {"SER", 1, true},   {"AVI", 2, true}, {"MOV", 3, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(outputFormatIndex(c.stored), c.shown) << c.stored;
        EXPECT_EQ(isVideoFormat(c.stored), c.video) << c.stored;
    }
    EXPECT_EQ(outputFormatValue(1, "FITS"), "SER");
    EXPECT_EQ(outputFormatValue(3, "SER"), "MOV");
    EXPECT_EQ(outputFormatValue(0, "SER"), "FITS");
    // Numbered files leave another text that already means them as it was.
    EXPECT_EQ(outputFormatValue(0, "avi"), "avi");
    EXPECT_EQ(outputFormatValue(0, ""), "FITS");
}

TEST(PreferencesValues, EmptyAndBadFieldsFallBack) {
    test_support::TempDir folder;
    zeta::platform::UserDefaults store(folder.path() / "prefs.json");
    PreferencesValues values = loadPreferences(store, {});
    values.serviceName.clear();
    values.serviceType.clear();
    values.portText = "port";
    EXPECT_NE(preferencesError(values).find("0 to 65535"), std::string::npos);
    storePreferences(store, values);
    EXPECT_EQ(store.stringForKey("indigoServiceName", ""), APP_NAME());
    EXPECT_EQ(store.stringForKey("indigoServiceType", ""), "_indigo._tcp");
    EXPECT_EQ(store.integerForKey("indigoPortNumber", -1), 0);
    // A level stored beyond the popup shows as its last item.
    store.setInteger(42, "indigoLogLevel");
    EXPECT_EQ(loadPreferences(store, {}).logLevel, static_cast<int>(logLevelTitles().size()) - 1);
}

TEST(HelpAddress, PageNameAndAnchor) {
    EXPECT_EQ(ApplicationDelegate::helpAddress("https://host", "Foo-Bar", "1.2", false),
              "https://host/doc/foobar_1.2.html");
    EXPECT_EQ(ApplicationDelegate::helpAddress("file:///r/help", "Zeta", "0.1.0", true),
              "file:///r/help/doc/zeta_0.1.0.html#whats_new");
}

TEST(HelpAddress, TheBundledPageOfThisVersionExists) {
    const auto page = MAIN_BUNDLE().resourcePath() / "help" / "doc" / ("zeta_" + APP_VERSION() + ".html");
    ASSERT_TRUE(std::filesystem::exists(page)) << page;
    EXPECT_NE(readFile(page).find("id=\"whats_new\""), std::string::npos);
}

// The main window as the delegate sees it: the addresses it opens and the alerts it shows.
struct RecordingWindow : ApplicationView {
    bool opens = true;
    std::vector<std::string> opened;
    std::vector<AlertSpec> alerts;
    bool titleVisible() const override { return true; }
    void setTitleVisible(bool) override {}
    zeta::platform::Color backgroundColor() const override { return {}; }
    void setBackgroundColor(const zeta::platform::Color&) override {}
    void beginAlert(const AlertSpec& alert, std::function<void(int)>) override { alerts.push_back(alert); }
    bool openURL(const std::string& address) override {
        opened.push_back(address);
        return opens;
    }
    void setToolTipDelay(int) override {}
};

TEST(HelpAddress, HelpThatNoBrowserOpensIsSaidInTheLogAndOnTheWindowWhenAskedFor) {
    struct Delegate : ApplicationDelegate {
        using ApplicationDelegate::setIndigo;
    } delegate;
    auto client = std::make_shared<INDIGO>();
    delegate.setIndigo(client);
    RecordingWindow window;
    delegate.setWindow(&window);
    const auto failures = [&] {
        int count = 0;
        for (const std::string& line : client->messages())
            count += line.find("Can't open the help: No web browser could be started for ") != std::string::npos;
        return count;
    };

    delegate.showHelp();
    EXPECT_EQ(failures(), 0);
    EXPECT_TRUE(window.alerts.empty());

    window.opens = false;
    delegate.showHelp();
    EXPECT_EQ(failures(), 1);
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_EQ(window.alerts[0].message, "Can't open the help");
    EXPECT_NE(window.alerts[0].informativeText.find(window.opened.back()), std::string::npos);
    // The first launch's own call, beside the preferences sheet, only notes it.
    delegate.showHelp(true);
    EXPECT_EQ(failures(), 2);
    EXPECT_EQ(window.alerts.size(), 1u);
    delegate.setWindow(nullptr);
}

TEST(ServicesController, RowsSelectionAddAndRemove) {
    auto admin = std::make_shared<FakeAdmin>();
    admin->services = {"Alpha", "Beta"};
    admin->servers = {{"host1", 7624}};
    ServicesController controller(admin);
    RecordingServicesView view;
    controller.setView(&view);
    controller.loadPreferences();

    ASSERT_EQ(controller.numberOfRows(), 3u);
    EXPECT_FALSE(view.removeEnabled);
    EXPECT_TRUE(controller.row(0)->bonjour);
    EXPECT_EQ(controller.row(1)->text, "Beta");
    EXPECT_FALSE(controller.row(2)->bonjour);
    EXPECT_EQ(controller.row(2)->text, "host1 (7624)");
    EXPECT_FALSE(controller.row(3));

    EXPECT_FALSE(controller.shouldSelectRow(0));
    EXPECT_EQ(view.host, "");
    EXPECT_TRUE(controller.shouldSelectRow(2));
    EXPECT_TRUE(view.removeEnabled);
    EXPECT_EQ(view.host, "host1");
    EXPECT_EQ(view.port, "7624");

    EXPECT_TRUE(controller.addAction("host2", ""));
    EXPECT_TRUE(controller.addAction("host3", "7000"));
    ASSERT_EQ(controller.configuredServers().size(), 3u);
    EXPECT_EQ(controller.configuredServers()[1], (ServerAddress{"host2", 7624}));
    EXPECT_EQ(controller.configuredServers()[2], (ServerAddress{"host3", 7000}));
    EXPECT_EQ(view.error, "");

    // A Bonjour row or no selection only reloads.
    const int reloads = view.reloads;
    controller.removeAction(0);
    controller.removeAction(std::nullopt);
    EXPECT_EQ(controller.configuredServers().size(), 3u);
    EXPECT_EQ(view.reloads, reloads + 2);
    controller.removeAction(3);
    ASSERT_EQ(controller.configuredServers().size(), 2u);
    EXPECT_EQ(controller.configuredServers()[1].host, "host3");
    // Nothing reaches the client before the sheet's OK.
    EXPECT_TRUE(admin->takeCalls().empty());
    controller.setView(nullptr);
}

TEST(ServicesController, RefusesWhatIsNotAServerWithTheReasonAndAddsNothing) {
    auto admin = std::make_shared<FakeAdmin>();
    ServicesController controller(admin);
    RecordingServicesView view;
    controller.setView(&view);
    struct Case {
        const char* host;
        const char* port;
        const char* reason;
    };
    const Case cases[] = {
        {"", "7000", "host name"},   {"host", "99999", "1 to 65535"}, {"host", "abc", "1 to 65535"},
        {"host", "0", "1 to 65535"}, {"host", "-5", "1 to 65535"},    {"host", "76 24", "1 to 65535"},
    };
    for (const Case& c : cases) {
        view.error.clear();
        EXPECT_FALSE(controller.addAction(c.host, c.port)) << c.host << ":" << c.port;
        EXPECT_NE(view.error.find(c.reason), std::string::npos) << view.error;
    }
    EXPECT_TRUE(controller.configuredServers().empty());
    // The next good entry clears the reason.
    EXPECT_TRUE(controller.addAction("host", "65535"));
    EXPECT_EQ(view.error, "");
    controller.setView(nullptr);
}

TEST(ServicesController, AServerThatCannotBeConnectedStaysListedUntilRemoved) {
    auto admin = std::make_shared<FakeAdmin>();
    admin->unreachable = {{"gone", 7000}};
    ServicesController controller(admin);
    controller.loadPreferences();
    controller.addAction("gone", "7000");
    controller.addAction("here", "7001");
    controller.savePreferences();
    EXPECT_EQ(admin->takeCalls(), (std::vector<std::string>{"add gone:7000", "add here:7001"}));

    // Opening the sheet again: the client has only the connected one, the list keeps both.
    controller.loadPreferences();
    ASSERT_EQ(controller.numberOfRows(), 2u);
    EXPECT_EQ(controller.row(0)->text, "here (7001)");
    EXPECT_FALSE(controller.row(0)->failed);
    EXPECT_TRUE(controller.row(1)->failed);
    EXPECT_NE(controller.row(1)->text.find("gone (7000)"), std::string::npos);
    EXPECT_NE(controller.row(1)->text.find("could not connect"), std::string::npos);

    // Each OK tries it again; once reachable it is an ordinary row.
    admin->unreachable.clear();
    controller.savePreferences();
    EXPECT_EQ(admin->takeCalls(), (std::vector<std::string>{"add gone:7000"}));
    controller.loadPreferences();
    EXPECT_FALSE(controller.row(1)->failed);

    // Removed by the user, a failed server is gone for good.
    admin->servers.pop_back();
    admin->unreachable = {{"gone", 7000}};
    controller.loadPreferences();
    controller.addAction("gone", "7000");
    controller.savePreferences();
    controller.loadPreferences();
    ASSERT_EQ(controller.numberOfRows(), 2u);
    controller.removeAction(1);
    controller.savePreferences();
    controller.loadPreferences();
    EXPECT_EQ(controller.numberOfRows(), 1u);
}

TEST(ServicesController, SaveConnectsAndDisconnectsOnlyTheDifference) {
    auto admin = std::make_shared<FakeAdmin>();
    admin->servers = {{"a", 1}, {"b", 2}};
    ServicesController controller(admin);
    controller.loadPreferences();
    controller.savePreferences();
    EXPECT_TRUE(admin->takeCalls().empty());

    controller.numberOfRows();
    controller.removeAction(0);
    controller.addAction("c", "3");
    controller.addAction("c", "3");
    controller.addAction("B", "2"); // another text, another server
    controller.savePreferences();
    EXPECT_EQ(admin->takeCalls(), (std::vector<std::string>{"remove a:1", "add c:3", "add B:2"}));
}

TEST(DriversController, ShowsLoadedStateAndAppliesOnlyChanges) {
    auto admin = std::make_shared<FakeAdmin>();
    admin->addCatalogueDriver("indigo_a", true);
    admin->addCatalogueDriver("indigo_b", false);
    admin->addCatalogueDriver("indigo_c", false);
    admin->failingLoads = {"indigo_c"};
    DriversController controller(admin);

    controller.setWantedState(1, true); // a tick the user cancelled
    controller.loadPreferences();
    ASSERT_EQ(controller.numberOfRows(), 3u);
    EXPECT_EQ(controller.wantedState(0), true);
    EXPECT_EQ(controller.wantedState(1), false);
    EXPECT_EQ(controller.rowText(0), "indigo_a label (2.0)");
    EXPECT_FALSE(controller.rowText(3));

    controller.applyDriverStates();
    EXPECT_TRUE(admin->takeCalls().empty());

    controller.setWantedState(0, false);
    controller.setWantedState(2, true);
    controller.setWantedState(1, std::nullopt);
    controller.applyDriverStates();
    EXPECT_EQ(admin->takeCalls(), (std::vector<std::string>{"unload indigo_a", "load indigo_c"}));
    // The failed load shows unticked the next time.
    controller.loadPreferences();
    EXPECT_EQ(controller.wantedState(2), false);
    dispatch::drainMainQueue();
}

TEST(DriversController, EmptyCatalogue) {
    auto admin = std::make_shared<FakeAdmin>();
    DriversController controller(admin);
    controller.loadPreferences();
    EXPECT_EQ(controller.numberOfRows(), 0u);
    EXPECT_FALSE(controller.wantedState(0));
    dispatch::drainMainQueue();
}

TEST(MessagesController, SavesLinesJoinedWithoutAFinalLineEnd) {
    auto client = std::make_shared<INDIGO>();
    MessagesController controller;
    controller.setIndigo(client);
    test_support::TempDir folder;

    EXPECT_TRUE(controller.saveLog(folder.path() / "empty.txt"));
    EXPECT_EQ(readFile(folder.path() / "empty.txt"), "");

    client->message("one");
    client->message("two");
    client->message("three");
    const auto path = folder.path() / "log.txt";
    ASSERT_TRUE(controller.saveLog(path));
    const std::string text = readFile(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(text, controller.lineAtRow(0) + "\n" + controller.lineAtRow(1) + "\n" + controller.lineAtRow(2));
    EXPECT_EQ(controller.lineAtRow(3), "");
    dispatch::drainMainQueue();
}

TEST(MessagesController, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
    auto client = std::make_shared<INDIGO>();
    MessagesController controller;
    controller.setIndigo(client);
    client->message("line");
    test_support::TempDir folder;
    EXPECT_FALSE(controller.saveLog(folder.path() / "missing" / "log.txt"));

    // A folder that cannot be written: the old file stays as it was.
    const auto locked = folder.path() / "locked";
    std::filesystem::create_directory(locked);
    { std::ofstream(locked / "log.txt") << "old"; }
    ::chmod(locked.c_str(), 0555);
    if (::geteuid() != 0) {
        EXPECT_FALSE(controller.saveLog(locked / "log.txt"));
        EXPECT_EQ(readFile(locked / "log.txt"), "old");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked), {}), 1);
    }
    ::chmod(locked.c_str(), 0755);
    EXPECT_EQ(client->messageCount(), 1u);
    dispatch::drainMainQueue();
}

TEST(MessagesController, ABurstFromFourThreadsEndsWithTheLastLineShown) {
    auto client = std::make_shared<INDIGO>();
    MessagesController controller;
    controller.setIndigo(client);
    struct RecordingView : MessagesView {
        std::size_t count = 0;
        std::string last;
        MessagesController* controller = nullptr;
        void reloadMessages(std::size_t rows) override {
            count = rows;
            last = rows > 0 ? controller->lineAtRow(rows - 1) : "";
        }
    } view;
    view.controller = &controller;
    controller.setView(&view);

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&client, t] {
            for (int i = 0; i < 2600; ++i)
                client->message("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    }
    // The main queue runs the refreshes while the lines arrive.
    dispatch::runMainQueueUntil([&] { return view.count >= 1000; }, std::chrono::seconds(30));
    for (auto& thread : threads)
        thread.join();
    client->message("the last line");
    ASSERT_TRUE(dispatch::runMainQueueUntil(
        [&] { return view.last.size() >= 13 && view.last.substr(view.last.size() - 13) == "the last line"; },
        std::chrono::seconds(30)));
    EXPECT_EQ(view.count, INDIGO::kMaxMessages);
    controller.setView(nullptr);
}
