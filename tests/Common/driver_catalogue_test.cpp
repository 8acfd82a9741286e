// The driver catalogue: reading the file, telling libraries from executables, the default
// of "load_", the order of the names, loading and unloading, and the links in Drivers/.

#include "Common/driver_catalogue.h"

#include "Common/driver.h"
#include "Common/indigo.h"
#include "platform/constants.h"
#include "platform/system_log.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sstream>
#include <unistd.h>

using zeta::common::CatalogueEntry;
using zeta::common::parseDriverCatalogue;
namespace fs = std::filesystem;

namespace {

struct ParseCase {
    const char* what;
    const char* xml;
    std::vector<CatalogueEntry> entries;
};

void PrintTo(const ParseCase& value, std::ostream* out) {
    *out << value.what;
}

class CatalogueParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CatalogueParse, ReadsOnlyCompleteDriverTags) {
    EXPECT_EQ(parseDriverCatalogue(GetParam().xml), GetParam().entries) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CatalogueParse,
    ::testing::Values(
        ParseCase{
            "two drivers in order",
            R"(<drivers><driver name="b" description="B" version="1"/><driver name="a" description="A" version="2"/></drivers>)",
            {{"b", "B", "1"}, {"a", "A", "2"}}},
        ParseCase{"no version", R"(<drivers><driver name="a" description="A"/></drivers>)", {}},
        ParseCase{"no name", R"(<drivers><driver description="A" version="1"/></drivers>)", {}},
        ParseCase{"no description", R"(<drivers><driver name="a" version="1"/></drivers>)", {}},
        ParseCase{
            "other elements with the attributes",
            R"(<driver-list name="x" description="X" version="1"><group><item name="i" description="I" version="1"/></group></driver-list>)",
            {}},
        ParseCase{"the document element itself",
                  R"(<driver name="a" description="A" version="1"></driver>)",
                  {{"a", "A", "1"}}},
        ParseCase{"a prefixed name is another element",
                  R"(<d xmlns:x="urn:x"><x:driver name="a" description="A" version="1"/></d>)",
                  {}},
        ParseCase{"extra attributes and text",
                  R"(<d>text<driver name="a" description="A &amp; B" version="1" more="m">inner</driver></d>)",
                  {{"a", "A & B", "1"}}},
        ParseCase{"broken after the first",
                  R"(<d><driver name="a" description="A" version="1"/><driver name="b" </d>)",
                  {{"a", "A", "1"}}},
        ParseCase{"empty", "", {}},
        ParseCase{
            "an external entity is not read",
            R"(<!DOCTYPE d [<!ENTITY e SYSTEM "/etc/passwd">]><d><driver name="a" description="&e;" version="1"/></d>)",
            {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return "case" + std::to_string(info.index); });

// Records what the catalogue announces.
class DriverRecorder : public BaseController {
public:
    void addDriver(const std::shared_ptr<INDIGO::Driver>& driver) override {
        std::lock_guard lock(mutex_);
        added_.push_back(driver->name());
        orderSeen_.push_back(INDIGO::instance() != nullptr ? INDIGO::instance()->driverNames()
                                                           : std::vector<std::string>{});
    }
    std::vector<std::string> added() {
        std::lock_guard lock(mutex_);
        return added_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> added_;
    std::vector<std::vector<std::string>> orderSeen_;
};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override {
        zeta::platform::setSystemLogHandler([this](std::string_view entry) {
            std::lock_guard lock(logMutex);
            log.emplace_back(entry);
        });
        DEFAULTS().removeAll();
        driversFolder = FILE_MANAGER().containerURLForSecurityApplicationGroupIdentifier("TEAM.INDIGO") / "Drivers";
        fs::remove_all(driversFolder);
        fs::create_directories(driversFolder);
        recorder.setIndigo(indigo);
    }
    void TearDown() override {
        for (const auto& [name, driver] : indigo->drivers())
            driver->unload();
        recorder.setIndigo(nullptr);
        indigo.reset();
        for (const auto& file : bundleFiles)
            fs::remove(file);
        fs::remove_all(driversFolder);
        DEFAULTS().removeAll();
        zeta::platform::setSystemLogHandler({});
    }

    // A file in the bundle's drivers folder: what makes a catalogue name a library.
    void bundleLibrary(const std::string& name) {
        const auto file = MAIN_BUNDLE().privateFrameworksPath() / (name + ".so");
        writeFile(file, "not a library");
        bundleFiles.push_back(file);
    }
    void executable(const std::string& name, bool runnable = true) {
        writeFile(driversFolder / name, "#!/bin/sh\nexit 1\n");
        fs::permissions(driversFolder / name,
                        runnable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    }
    void read(const std::string& drivers) {
        writeFile(temp.path() / "drivers.xml", "<drivers>" + drivers + "</drivers>");
        indigo->readDriverCatalogue(temp.path() / "drivers.xml");
    }
    bool logged(const std::string& line) {
        std::lock_guard lock(logMutex);
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    test_support::TempDir temp{"zeta-catalogue"};
    fs::path driversFolder;
    std::vector<fs::path> bundleFiles;
    std::shared_ptr<INDIGO> indigo = std::make_shared<INDIGO>();
    DriverRecorder recorder;
    std::mutex logMutex;
    std::vector<std::string> log;
};

TEST_F(Catalogue, LibraryAndExecutableAreToldApartAndSortedByDescription) {
    executable("indi_zeta_b");
    executable("indi_zeta_both");
    bundleLibrary("zeta_lib_a");
    bundleLibrary("indi_zeta_both");
    read(R"(<driver name="indi_zeta_b" description="Alpha" version="1"/>)"
         R"(<driver name="zeta_lib_a" description="Alpha" version="2"/>)"
         R"(<driver name="indi_zeta_both" description="Beta" version="3"/>)"
         R"(<driver name="indi_zeta_missing" description="Gamma" version="4"/>)");

    EXPECT_EQ(recorder.added(), (std::vector<std::string>{"indi_zeta_b", "zeta_lib_a", "indi_zeta_both"}));
    // "Alpha" < "Alpha [INDI]" < "Beta": the suffix takes part in the order.
    EXPECT_EQ(indigo->driverNames(), (std::vector<std::string>{"zeta_lib_a", "indi_zeta_b", "indi_zeta_both"}));
    const auto executableDriver = indigo->driver("indi_zeta_b");
    ASSERT_TRUE(executableDriver);
    EXPECT_FALSE(executableDriver->library());
    EXPECT_EQ(executableDriver->description(), "Alpha [INDI]");
    EXPECT_EQ(executableDriver->path(), (driversFolder / "indi_zeta_b").string());
    EXPECT_EQ(executableDriver->version(), "1");
    const auto both = indigo->driver("indi_zeta_both");
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->library()) << "a library wins over an executable of the same name";
    EXPECT_EQ(both->path(), "indi_zeta_both");
    EXPECT_EQ(indigo->driver("indi_zeta_missing"), nullptr);
    EXPECT_TRUE(logged("Driver indi_zeta_missing skipped"));
    // No "simulator" in these names and no settings: nothing was loaded.
    for (const auto& [name, driver] : indigo->drivers())
        EXPECT_FALSE(driver->state()) << name;
}

TEST_F(Catalogue, SimulatorLibraryLoadsAtFirstStartAndUnloads) {
    // Built into the bundle's drivers folder by the test build.
    ASSERT_TRUE(fs::exists(MAIN_BUNDLE().privateFrameworksPath() / "zeta_catalogue_simulator.so"));
    executable("indi_zeta_simulator_exec");
    read(R"(<driver name="zeta_catalogue_simulator" description="Catalogue Simulator" version="1"/>)"
         R"(<driver name="indi_zeta_simulator_exec" description="Exec" version="1"/>)");

    const auto simulator = indigo->driver("zeta_catalogue_simulator");
    ASSERT_TRUE(simulator);
    EXPECT_TRUE(simulator->library());
    EXPECT_TRUE(simulator->state());
    EXPECT_TRUE(DEFAULTS().boolForKey("load_zeta_catalogue_simulator", false));
    EXPECT_FALSE(indigo->driver("indi_zeta_simulator_exec")->state()) << "an executable is not loaded by default";

    simulator->unload();
    EXPECT_FALSE(simulator->state());
    EXPECT_FALSE(DEFAULTS().boolForKey("load_zeta_catalogue_simulator", true));
}

TEST_F(Catalogue, FailedLoadIsLoggedAndNotRetriedAtTheNextStart) {
    bundleLibrary("zeta_broken_simulator");
    executable("indi_zeta_fails", false);
    DEFAULTS().setBool(true, "load_indi_zeta_fails");
    read(R"(<driver name="zeta_broken_simulator" description="Broken" version="1"/>)"
         R"(<driver name="indi_zeta_fails" description="Fails" version="1"/>)");

    for (const char* name : {"zeta_broken_simulator", "indi_zeta_fails"}) {
        const auto driver = indigo->driver(name);
        ASSERT_TRUE(driver) << name;
        EXPECT_FALSE(driver->state()) << name;
        EXPECT_FALSE(DEFAULTS().boolForKey(std::string("load_") + name, true)) << name;
    }
    EXPECT_TRUE(logged("Driver zeta_broken_simulator could not be loaded"));
}

TEST_F(Catalogue, UnloadingADriverThatNeverLoadedChangesNothing) {
    executable("indi_zeta_idle");
    read(R"(<driver name="indi_zeta_idle" description="Idle" version="1"/>)");
    DEFAULTS().setBool(true, "load_indi_zeta_idle");
    indigo->driver("indi_zeta_idle")->unload();
    EXPECT_FALSE(indigo->driver("indi_zeta_idle")->state());
    EXPECT_TRUE(DEFAULTS().boolForKey("load_indi_zeta_idle", false));
}

TEST(DriverLinks, LinksExecutablesThatHaveNoLinkYet) {
    test_support::TempDir temp{"zeta-links"};
    const auto system = temp.path() / "bin";
    const auto folder = temp.path() / "Drivers";
    writeFile(system / "indi_a", "#!/bin/sh\n");
    writeFile(system / "indi_b", "#!/bin/sh\n");
    writeFile(system / "indi_plain", "not executable");
    fs::permissions(system / "indi_a", fs::perms::owner_all);
    fs::permissions(system / "indi_b", fs::perms::owner_all);
    fs::create_directories(folder);
    fs::create_symlink(temp.path() / "gone", folder / "indi_b"); // a driver since removed
    writeFile(folder / "indi_mine", "kept");

    const auto made = zeta::common::linkDriverExecutables(
        folder, {"indi_a", "indi_b", "indi_plain", "indi_mine", "indi_none", "../indi_a"},
        {temp.path() / "nowhere", system});

    EXPECT_EQ(made, (std::vector<std::string>{"indi_a", "indi_b"}));
    EXPECT_EQ(fs::read_symlink(folder / "indi_a"), system / "indi_a");
    EXPECT_EQ(fs::read_symlink(folder / "indi_b"), system / "indi_b");
    EXPECT_FALSE(fs::exists(folder / "indi_plain"));
    EXPECT_FALSE(fs::is_symlink(folder / "indi_mine"));
    // Again: everything is in place already.
    EXPECT_TRUE(zeta::common::linkDriverExecutables(folder, {"indi_a", "indi_b"}, {system}).empty());
}

TEST(DriverCatalogueResource, ListsTheSimulatorsAndOnlyDriversDebianShips) {
    std::ifstream in(fs::path(ZETA_SOURCE_DIR) / "resources" / "drivers.xml");
    std::stringstream bytes;
    bytes << in.rdbuf();
    const auto entries = parseDriverCatalogue(bytes.str());
    std::set<std::string> names;
    for (const auto& entry : entries) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name << " listed twice";
        EXPECT_FALSE(entry.description.empty()) << entry.name;
    }
    for (const char* name :
         {"indi_simulator_ccd", "indi_simulator_focus", "indi_simulator_wheel", "indi_simulator_telescope"})
        EXPECT_TRUE(names.count(name)) << name;
}

} // namespace
