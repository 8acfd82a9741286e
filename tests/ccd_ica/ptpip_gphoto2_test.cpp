// The simulated cameras checked against an independent PTP initiator: gphoto2 reaches them
// over PTP/IP and must see what Zeta's driver publishes for the same camera on the bus.
#include "ccd_ica/dslr_property_map.h"
#include "ccd_ica/indigo_ccd_ica.h"
#include "ccd_ica/ptp_datasets.h"
#include "driver_on_bus.h"
#include "indigo/indigo_driver.h"
#include "platform/camera/ptp_usb_framing.h"
#include "platform/camera/simulated_device_source.h"
#include "support/process.h"
#include "support/ptpip_endpoint.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;
using test_support::BusEvent;
using test_support::RecordingClient;
using namespace ccd_ica_test;
using zeta::platform::SimulatedCamera;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// ---- Zeta's side: the driver on the in-process bus -------------------------------------------

auto stateIs(indigo_property_state state) {
    return [state](const BusEvent& p) {
        return p.kind != "delete" && p.state == state;
    };
}

// A camera plugged into the driver and connected; unplugged when it goes.
class DriverCamera {
public:
    explicit DriverCamera(std::shared_ptr<SimulatedCamera> camera) : sim_(std::move(camera)) {
        // The device is named by the browser (a vendor's name may come first): the one that appears.
        std::size_t from = client().count();
        driver().source->plug(sim_);
        client().waitUntil(
            [&] {
                for (std::size_t i = from; i < client().eventsLocked().size(); ++i) {
                    const BusEvent& p = client().eventsLocked()[i];
                    if (p.kind == "define" && p.name == "CONNECTION") name_ = p.device;
                }
                return !name_.empty();
            },
            30s);
        if (name_.empty()) return;
        from = client().count();
        const char* items[] = {"CONNECTED"};
        const bool values[] = {true};
        indigo_change_switch_property(&client().client, name_.c_str(), "CONNECTION", 1, items, values);
        connected_ =
            client()
                .waitFor(
                    from, name_, "CONNECTION",
                    [](const BusEvent& p) { return p.state == INDIGO_OK_STATE && p.item("CONNECTED")->on; }, 30s)
                .has_value();
    }
    ~DriverCamera() {
        driver().source->unplug(sim_);
        EXPECT_TRUE(client().waitUntil([&] { return !client().anyDefinedLocked(name_); }, 30s));
    }
    bool connected() const { return connected_; }
    const std::string& name() const { return name_; }

private:
    std::shared_ptr<SimulatedCamera> sim_;
    std::string name_;
    bool connected_ = false;
};

// The camera properties the driver publishes: INDIGO name -> PTP code, by the driver's map for
// the camera's family or by the four hexadecimal digits of the name.
std::map<std::string, uint16_t> publishedProperties(const std::string& device, int16_t family) {
    std::map<std::string, uint16_t> codes;
    for (const std::string& name : client().definedNames(device)) {
        for (const dslr_property_map_row* row = dslr_property_map; row->code != 0; ++row) {
            if (row->vendor == family && name == row->name) codes[name] = row->code;
        }
        if (name.size() == 4 && name.find_first_not_of("0123456789abcdef") == std::string::npos)
            codes[name] = static_cast<uint16_t>(std::stoul(name, nullptr, 16));
    }
    return codes;
}

// The value the driver shows: the name of the item that is on, or the number or text.
std::string publishedValue(const BusEvent& p) {
    if (p.type == INDIGO_SWITCH_VECTOR) {
        const auto on = p.on();
        return on.empty() ? "" : on.front();
    }
    if (p.type == INDIGO_NUMBER_VECTOR) return std::to_string(static_cast<long long>(p.items.at(0).value));
    return p.items.at(0).text;
}

// ---- gphoto2's side ----------------------------------------------------------------------------

struct Gphoto2Run {
    int status = -1;
    std::string out, err;
};

// gphoto2 with a home of its own (its settings), pointed at the endpoint; one run at a time.
class Gphoto2 {
public:
    explicit Gphoto2(test_support::PTPIPEndpoint& endpoint) : endpoint_(endpoint) {}

    Gphoto2Run run(std::vector<std::string> args) {
        std::vector<std::string> argv = {"gphoto2", "--camera", "PTP/IP Camera", "--port", endpoint_.portArgument()};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto output = home_.path() / "output";
        Gphoto2Run result;
        {
            test_support::Process process(argv, {{"HOME", home_.path().string()}, {"LANG", "C"}, {"LC_ALL", "C"}},
                                          output.string());
            result.status = process.wait(60s);
            if (result.status == -1) process.stop();
        }
        // The session ends when the endpoint has seen both connections close; the next run
        // would otherwise find the camera still taken.
        EXPECT_TRUE(endpoint_.waitIdle(30s));
        result.out = readFile(output);
        result.err = readFile(output.string() + ".err");
        return result;
    }
    const std::filesystem::path& folder() const { return home_.path(); }

private:
    test_support::PTPIPEndpoint& endpoint_;
    test_support::TempDir home_{"zeta-gphoto2"};
};

// Each answer of a --get-config run: its "Current:" line, in the order asked.
std::vector<std::string> currents(const std::string& out) {
    std::vector<std::string> values;
    std::istringstream lines(out);
    std::string line, value;
    while (std::getline(lines, line)) {
        if (line.rfind("Current: ", 0) == 0) value = line.substr(9);
        if (line == "END") values.push_back(std::exchange(value, ""));
    }
    return values;
}

// The codes after a section title of gphoto2's device information listing, from its first
// listing (before any vendor handshake adds to it).
std::vector<uint16_t> listed(const std::string& log, const std::string& title) {
    std::vector<uint16_t> codes;
    const std::size_t at = log.find("print_debug_deviceinfo      (2): " + title);
    if (at == std::string::npos) return codes;
    std::istringstream lines(log.substr(log.find('\n', at) + 1));
    std::string line;
    const std::regex entry("print_debug_deviceinfo +\\(2\\):   0x([0-9a-f]{4})");
    std::smatch match;
    while (std::getline(lines, line) && std::regex_search(line, match, entry))
        codes.push_back(static_cast<uint16_t>(std::stoul(match[1], nullptr, 16)));
    return codes;
}

// One operation sent to the camera through a port of its own: the data phase in, if any.
std::optional<std::vector<uint8_t>> ask(zeta::platform::PTPPort& port, uint16_t code, uint32_t transaction,
                                        std::vector<uint8_t> parameters = {}) {
    using namespace zeta::platform;
    if (sendContainer(port, makeContainer(1, code, transaction, parameters), 1s) != PTPPortStatus::ok)
        return std::nullopt;
    PTPContainerReader reader(port);
    PTPReceivedContainer container;
    std::vector<uint8_t> data;
    while (reader.read(container, 1s, 1s) == PTPPortStatus::ok) {
        if (container.header.type == 2) data = container.payload;
        if (container.header.type == 3)
            return container.header.code == PTPResponseCodeOK ? std::optional(data) : std::nullopt;
    }
    return std::nullopt;
}

// The device information the preset sends, as Zeta's own dataset parser reads it, with the
// vendor's property codes when it names them on request (GetVendorPropCodes).
std::shared_ptr<PTPDeviceInfo> declaredInfo(SimulatedCamera& camera) {
    const auto port = camera.open();
    const auto data = ask(*port, PTPRequestCodeGetDeviceInfo, 1);
    auto info = data ? PTPDeviceInfo::withData(*data) : nullptr;
    const auto& operations = info ? info->operationsSupported : std::vector<uint16_t>{};
    if (std::find(operations.begin(), operations.end(), 0x90CA) == operations.end()) return info;
    const auto vendor = ask(*port, PTPRequestCodeOpenSession, 2, {1, 0, 0, 0}) ? ask(*port, 0x90CA, 3) : std::nullopt;
    if (!vendor || vendor->size() < 4) return nullptr;
    const std::size_t count = vendor->at(0) | (vendor->at(1) << 8) | (vendor->at(2) << 16) | (vendor->at(3) << 24);
    for (std::size_t i = 0; i < count && 4 + 2 * i + 1 < vendor->size(); ++i)
        info->propertiesSupported.push_back(
            static_cast<uint16_t>(vendor->at(4 + 2 * i) | (vendor->at(5 + 2 * i) << 8)));
    return info;
}

// gphoto2's own names for the properties it knows, by camera family and code.
const std::map<std::pair<int16_t, uint16_t>, std::string> gphoto2Names = {
    {{0, 0x5001}, "batterylevel"},
    {{0, 0x5003}, "imagesize"},
    {{0, 0x5004}, "imagequality"},
    {{0, 0x5005}, "whitebalance"},
    {{0, 0x5007}, "f-number"},
    {{0, 0x5008}, "focallength"},
    {{0, 0x500D}, "shutterspeed"},
    {{0, 0x500E}, "expprogram"},
    {{0, 0x500F}, "iso"},
    {{0, 0x5010}, "exposurecompensation"},
    {{10, 0x5001}, "batterylevel"},
    {{10, 0x5003}, "imagesize"},
    {{10, 0x5004}, "imagequality"},
    {{10, 0x5005}, "whitebalance"},
    {{10, 0x5007}, "f-number"},
    {{10, 0x5008}, "focallength"},
    {{10, 0x500D}, "shutterspeed"},
    {{10, 0x500E}, "expprogram"},
    {{10, 0x500F}, "iso"},
    {{10, 0x5010}, "exposurecompensation"},
    {{10, 0xD10B}, "recordingmedia"},
    {{10, 0xD161}, "focusmode2"},
    {{10, 0xD061}, "liveviewaffocus"},
    {{10, 0xD06A}, "exposuredelaymode"},
    {{10, 0xD056}, "evstep"},
    {{10, 0xD126}, "flashexposurecompensation"},
    {{10, 0xD1A3}, "liveviewimagezoomratio"},
    {{17, 0x5004}, "imagequality"},
    {{17, 0x5005}, "whitebalance"},
    {{17, 0x5007}, "f-number"},
    {{17, 0x500A}, "focusmode"},
    {{17, 0x500E}, "expprogram"},
    {{17, 0x5010}, "exposurecompensation"},
    {{17, 0xD203}, "imagesize"},
    {{17, 0xD20D}, "shutterspeed"},
    {{17, 0xD21E}, "iso"},
};

// The entries gphoto2 lists for an EOS body's own properties: it reads them from the event
// stream and shows each under a name of its own, with its label for the value.
const std::map<uint16_t, std::string> eosEntries = {
    {0xD101, "aperture"},         {0xD102, "shutterspeed"}, {0xD103, "iso"},          {0xD104, "exposurecompensation"},
    {0xD105, "autoexposuremode"}, {0xD106, "drivemode"},    {0xD107, "meteringmode"}, {0xD108, "focusmode"},
    {0xD109, "whitebalance"},     {0xD10F, "colorspace"},   {0xD110, "picturestyle"}, {0xD120, "imageformat"},
    {0xD1B0, "output"},           {0xD1B1, "evfmode"},      {0xD1D8, "lensname"},
};
// EOS properties gphoto2 has no entry for.
const std::set<uint16_t> eosNotListed = {0xD13A};

bool isEOSProperty(int16_t family, uint16_t code) {
    return family == 11 && code >= 0xD100 && code < 0xD200;
}
bool isCustomFunction(int16_t family, uint16_t code) {
    return family == 11 && code >= 0x8000 && code < 0x9000;
}

// The first value of each custom function in gphoto2's "customfuncex" text: groups of
// "group,size,count," then per function "id,count,values...", all hexadecimal.
std::map<uint16_t, std::string> customFunctionValues(const std::string& text) {
    std::vector<unsigned long> words;
    std::istringstream in(text);
    std::string word;
    while (std::getline(in, word, ',')) {
        if (word.empty() || word.find_first_not_of("0123456789abcdef") != std::string::npos) return {};
        words.push_back(std::stoul(word, nullptr, 16));
    }
    std::map<uint16_t, std::string> values;
    std::size_t at = 2; // total size, group count
    while (at + 3 <= words.size()) {
        const unsigned long functions = words[at + 2];
        at += 3;
        for (unsigned long f = 0; f < functions && at + 2 <= words.size(); ++f) {
            const unsigned long id = words[at], count = words[at + 1];
            if (count > 0 && at + 2 < words.size())
                values[static_cast<uint16_t>(0x8000 | id)] = std::to_string(words[at + 2]);
            at += 2 + count;
        }
    }
    return values;
}

// Where the driver shows a value derived from the camera's: the focal length in millimetres
// (the camera counts hundredths), the lens by name.
const std::map<std::pair<uint16_t, std::string>, std::string> derivedValues = {
    {{0x5008, "50"}, "5000"},
    {{0xD0E0, "AF-S Zoom-Nikkor 24-70mm f/2.8G ED"}, "147"},
};

// The labels of the current values where gphoto2's differ from ours: family, code, ours, gphoto2's.
struct LabelDifference {
    int16_t family;
    uint16_t code;
    std::string ours, theirs;
    bool operator==(const LabelDifference&) const = default;
};

void PrintTo(const LabelDifference& d, std::ostream* out) {
    *out << "{" << d.family << ", 0x" << std::hex << d.code << std::dec << ", \"" << d.ours << "\", \"" << d.theirs
         << "\"}";
}
const std::vector<LabelDifference> knownLabelDifferences = {
    {0, 0x5004, "JPEG Fine", "Unknown value 0002"},
    {0, 0x5005, "Auto", "Automatic"},
    {0, 0x500D, "1/125 s", "0.0080s"},
    {0, 0x500E, "Manual", "M"},
    {0, 0x5010, "0.0", "0"},
    {10, 0x5005, "Auto", "Automatic"},
    {10, 0x500D, "1/125 s", "0.0080s"},
    {10, 0x500E, "Manual", "M"},
    {10, 0x5010, "0.0", "0"},
    {10, 0xD061, "AF-S", "Single-servo AF"},
    {10, 0xD06A, "Off", "On"},
    {10, 0xD126, "0.0", "0"},
    {10, 0xD1A3, "1x", "Entire Display"},
    {17, 0x5005, "Auto", "Automatic"},
    {17, 0x500A, "AF-S", "Automatic"},
    {11, 0xD101, "f/4", "4"},
    {11, 0xD102, "1/60s", "1/60"},
    {11, 0xD104, "Auto", "0"},
    {11, 0xD105, "Manual Exposure", "Manual"},
    {11, 0xD106, "Single shot", "Single"},
    {11, 0xD108, "One-Shot AF", "One Shot"},
    {11, 0xD120, "Large fine JPEG", "Large Fine JPEG"},
    {11, 0xD1B0, "0x0000", "Off"},
    {11, 0xD1B1, "Disable", "0"},
};

struct Preset {
    const char* name;
    int16_t family;
};

std::ostream& operator<<(std::ostream& out, const Preset& preset) {
    return out << preset.name;
}

class Gphoto2Preset : public ::testing::TestWithParam<Preset> {};

TEST_P(Gphoto2Preset, SummaryShowsWhatTheCameraDeclares) {
    const auto declared = declaredInfo(*SimulatedCamera::preset(GetParam().name));
    ASSERT_TRUE(declared);
    test_support::PTPIPEndpoint endpoint(SimulatedCamera::preset(GetParam().name));
    Gphoto2 gphoto2(endpoint);
    const auto log = gphoto2.folder() / "debug.log";
    const Gphoto2Run summary = gphoto2.run({"--debug", "--debug-logfile=" + log.string(), "--summary"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE(summary.out.find("Manufacturer: " + declared->manufacturer + "\n"), std::string::npos) << summary.out;
    EXPECT_NE(summary.out.find("Model: " + declared->model + "\n"), std::string::npos) << summary.out;
    if (!declared->vendorExtensionDesc.empty()) {
        EXPECT_NE(summary.out.find("Vendor Extension Description: " + declared->vendorExtensionDesc + "\n"),
                  std::string::npos)
            << summary.out;
    }

    const std::string debug = readFile(log);
    EXPECT_EQ(listed(debug, "Supported operations:"), declared->operationsSupported);
    EXPECT_EQ(listed(debug, "Events Supported:"), declared->eventsSupported);
    const auto properties = listed(debug, "Device Properties Supported:");
    EXPECT_EQ(properties, std::vector<uint16_t>(declared->propertiesSupported.begin(),
                                                declared->propertiesSupported.begin() +
                                                    static_cast<std::ptrdiff_t>(properties.size())));
    // Every property is described in the summary, read from its own description.
    std::set<uint16_t> described;
    const std::regex line("\\(0x([0-9a-f]{4})\\):\\((read only|readwrite)\\)");
    for (std::sregex_iterator it(summary.out.begin(), summary.out.end(), line), end; it != end; ++it)
        described.insert(static_cast<uint16_t>(std::stoul((*it)[1], nullptr, 16)));
    EXPECT_EQ(described,
              std::set<uint16_t>(declared->propertiesSupported.begin(), declared->propertiesSupported.end()));
    EXPECT_EQ(endpoint.rejections(), std::vector<std::string>{});
}

TEST_P(Gphoto2Preset, ConfigReadsTheValuesTheDriverPublishes) {
    const int16_t family = GetParam().family;
    std::map<std::string, uint16_t> codes;
    std::map<std::string, BusEvent> published;
    {
        DriverCamera camera(SimulatedCamera::preset(GetParam().name));
        ASSERT_TRUE(camera.connected());
        codes = publishedProperties(camera.name(), family);
        for (const auto& [name, code] : codes)
            published[name] = *client().property(camera.name(), name);
    }
    ASSERT_FALSE(codes.empty());

    test_support::PTPIPEndpoint endpoint(SimulatedCamera::preset(GetParam().name));
    Gphoto2 gphoto2(endpoint);
    const Gphoto2Run list = gphoto2.run({"--list-config"});
    ASSERT_EQ(list.status, 0) << list.err;

    // Every property by its code (gphoto2 shows the camera's raw value there), then by
    // gphoto2's own name where it has one (its label for the value). An EOS body's own
    // properties gphoto2 shows only by name, its custom functions in one text.
    std::vector<std::string> args, names, namedNames;
    std::set<uint16_t> notListed;
    bool customFunctions = false;
    for (const auto& [name, code] : codes) {
        if (isCustomFunction(family, code)) {
            customFunctions = true;
            continue;
        }
        if (isEOSProperty(family, code)) {
            if (!eosEntries.contains(code)) notListed.insert(code);
            continue;
        }
        char path[32];
        std::snprintf(path, sizeof path, "/main/other/%04x", code);
        EXPECT_NE(list.out.find(std::string(path) + "\n"), std::string::npos) << path;
        args.insert(args.end(), {"--get-config", path});
        names.push_back(name);
    }
    EXPECT_EQ(notListed, family == 11 ? eosNotListed : std::set<uint16_t>{});
    for (const auto& [name, code] : codes) {
        const auto eos = eosEntries.find(code);
        const auto named = gphoto2Names.find({family, code});
        if (isEOSProperty(family, code) && eos != eosEntries.end()) {
            EXPECT_NE(list.out.find("/" + eos->second + "\n"), std::string::npos) << eos->second;
            args.insert(args.end(), {"--get-config", eos->second});
        } else if (named != gphoto2Names.end() && published[name].type == INDIGO_SWITCH_VECTOR) {
            args.insert(args.end(), {"--get-config", named->second});
        } else {
            continue;
        }
        namedNames.push_back(name);
    }
    if (customFunctions) args.insert(args.end(), {"--get-config", "customfuncex"});
    const Gphoto2Run get = gphoto2.run(args);
    ASSERT_EQ(get.status, 0) << get.err;
    const auto values = currents(get.out);
    ASSERT_EQ(values.size(), names.size() + namedNames.size() + (customFunctions ? 1 : 0)) << get.out;

    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string ours = publishedValue(published[names[i]]);
        const auto derived = derivedValues.find({codes[names[i]], ours});
        EXPECT_EQ(derived == derivedValues.end() ? ours : derived->second, values[i]) << names[i];
    }
    if (customFunctions) {
        const auto theirs = customFunctionValues(values.back());
        for (const auto& [name, code] : codes) {
            if (!isCustomFunction(family, code)) continue;
            const std::string ours = publishedValue(published[name]);
            // A function of several values has no single item the driver can show on.
            if (ours.empty()) continue;
            const auto found = theirs.find(code);
            ASSERT_NE(found, theirs.end()) << name << " in " << values.back();
            EXPECT_EQ(ours, found->second) << name;
        }
    }
    std::vector<LabelDifference> differences, known;
    for (std::size_t i = 0; i < namedNames.size(); ++i) {
        const BusEvent& p = published[namedNames[i]];
        std::string label = p.type == INDIGO_SWITCH_VECTOR ? "" : publishedValue(p);
        for (const auto& item : p.items) {
            if (item.on) label = item.label;
        }
        if (label != values[names.size() + i])
            differences.push_back({family, codes[namedNames[i]], label, values[names.size() + i]});
    }
    for (const auto& d : knownLabelDifferences) {
        if (d.family == family) known.push_back(d);
    }
    auto order = [](const LabelDifference& a, const LabelDifference& b) {
        return a.code < b.code;
    };
    std::sort(differences.begin(), differences.end(), order);
    std::sort(known.begin(), known.end(), order);
    EXPECT_EQ(differences, known);
    EXPECT_EQ(endpoint.rejections(), std::vector<std::string>{});
}

// gphoto2 sets ISO 400 and daylight white balance through its own names and labels; the driver
// connecting afterwards reads both from the camera.
TEST_P(Gphoto2Preset, SetConfigChangesWhatTheDriverReadsNext) {
    const int16_t family = GetParam().family;
    const auto sim = SimulatedCamera::preset(GetParam().name);
    {
        test_support::PTPIPEndpoint endpoint(sim);
        Gphoto2 gphoto2(endpoint);
        const Gphoto2Run set = gphoto2.run({"--set-config", "iso=400", "--set-config", "whitebalance=Daylight"});
        ASSERT_EQ(set.status, 0) << set.out << set.err;
        EXPECT_EQ(endpoint.rejections(), std::vector<std::string>{});
    }
    DriverCamera camera(sim);
    ASSERT_TRUE(camera.connected());
    const auto codes = publishedProperties(camera.name(), family);
    // The codes and raw values of ISO 400 and daylight: an EOS body has codes and values of its own.
    using Expected = std::vector<std::pair<uint16_t, std::string>>;
    const Expected expected = family == 11   ? Expected{{0xD103, "88"}, {0xD109, "1"}}
                              : family == 17 ? Expected{{0xD21E, "400"}, {0x5005, "4"}}
                                             : Expected{{0x500F, "400"}, {0x5005, "4"}};
    for (const auto& [code, value] : expected) {
        const auto named = std::find_if(codes.begin(), codes.end(), [&](const auto& c) { return c.second == code; });
        ASSERT_NE(named, codes.end()) << std::hex << code;
        EXPECT_EQ(publishedValue(*client().property(camera.name(), named->first)), value) << named->first;
    }
}

// The same first shot of a fresh camera: gphoto2's download and the driver's image are the
// same bytes.
TEST_P(Gphoto2Preset, CaptureDownloadsTheFileTheDriverPublishes) {
    std::vector<uint8_t> ours;
    {
        DriverCamera camera(SimulatedCamera::preset(GetParam().name));
        ASSERT_TRUE(camera.connected());
        const std::size_t from = client().count();
        const char* items[] = {"EXPOSURE"};
        const double values[] = {0};
        indigo_change_number_property(&client().client, camera.name().c_str(), "CCD_EXPOSURE", 1, items, values);
        const auto image = client().waitFor(from, camera.name(), "CCD_IMAGE", stateIs(INDIGO_OK_STATE), 30s);
        ASSERT_TRUE(image);
        ours = image->blob;
    }
    ASSERT_FALSE(ours.empty());

    test_support::PTPIPEndpoint endpoint(SimulatedCamera::preset(GetParam().name));
    Gphoto2 gphoto2(endpoint);
    const auto file = gphoto2.folder() / "shot";
    const Gphoto2Run capture = gphoto2.run({"--capture-image-and-download", "--filename", file.string()});
    ASSERT_EQ(capture.status, 0) << capture.out << capture.err;
    const std::string theirs = readFile(file);
    EXPECT_EQ(std::vector<uint8_t>(theirs.begin(), theirs.end()), ours) << capture.out << capture.err;
    EXPECT_EQ(endpoint.rejections(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Presets, Gphoto2Preset,
                         ::testing::Values(Preset{"generic", 0}, Preset{"nikon", 10}, Preset{"canon", 11},
                                           Preset{"sony", 17}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
