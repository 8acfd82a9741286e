#include "ccd_ica/canon_labels.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

constexpr PTPCodeName operationRows[] = {ZETA_PTP_CANON_OPERATION_CODES(ZETA_PTP_REQUEST_ROW)};
constexpr PTPCodeName responseRows[] = {ZETA_PTP_CANON_RESPONSE_CODES(ZETA_PTP_RESPONSE_ROW)};
constexpr PTPCodeName eventRows[] = {ZETA_PTP_CANON_EVENT_CODES(ZETA_PTP_EVENT_ROW)};
constexpr PTPCodeName propertyRows[] = {ZETA_PTP_CANON_PROPERTY_CODES(ZETA_PTP_PROPERTY_ROW)};

using LabelMap = CanonLabelMap;

const LabelMap map8101 = {{0x00, "1/3"}, {0x01, "1/2"}};
const LabelMap map8103 = {{0x00, "Off"}, {0x01, "On"}};
const LabelMap map810F = {{0x00, "Auto"}, {0x01, "1/200s"}};
const LabelMap map8201 = {{0x00, "Off"}, {0x01, "Auto"}, {0x02, "On"}};
const LabelMap map8202 = {{0x00, "Off"}, {0x01, "On"}};
const LabelMap map8203 = {{0x00, "Enable"}, {0x01, "Disable"}};
const LabelMap map8204 = {{0x00, "Enable"}, {0x01, "Disable"}};
const LabelMap map850E = {{0x00, "Enable"}, {0x01, "Disable"}, {0x02, "Only external flash emits"}};
const LabelMap map8511 = {{0x00, "Disable"}, {0x01, "Quick mode"}, {0x02, "Live mode"}};
const LabelMap map860F = {{0x00, "Disable"}, {0x01, "Enable"}};
const LabelMap map8701 = {
    {0x00, "AF/AE Lock"}, {0x01, "AE Lock/AF"}, {0x02, "AF/AF lock, no AE lock"}, {0x03, "AE/AF, no AE lock"}};
const LabelMap map8704 = {{0x00, "LCD monitor On/Off"},
                          {0x01, "Change quality"},
                          {0x02, "Flash exposure compensation"},
                          {0x03, "Menu display"},
                          {0x04, "Disable"}};
const LabelMap map880F = {{0x00, "Off"}, {0x01, "On"}};
const LabelMap map8811 = {{0x00, "Display"}, {0x01, "Retain power off status"}};
const LabelMap mapD105 = {{0x00, "Program AE"},
                          {0x01, "Shutter Priority AE"},
                          {0x02, "Aperture Priority AE"},
                          {0x03, "Manual Exposure"},
                          {0x04, "Bulb"},
                          {0x05, "Auto DEP AE"},
                          {0x06, "DEP AE"},
                          {0x08, "Lock"},
                          {0x09, "Auto"},
                          {0x0A, "Night Scene Portrait"},
                          {0x0B, "Sports"},
                          {0x0C, "Portrait"},
                          {0x0D, "Landscape"},
                          {0x0E, "Close-Up"},
                          {0x0F, "Flash Off"},
                          {0x13, "Creative Auto"},
                          {0x16, "Scene Intelligent Auto"}};
const LabelMap mapD106 = {{0x00, "Single shot"},
                          {0x01, "Continuos"},
                          {0x02, "Video"},
                          {0x04, "High speed continuous"},
                          {0x05, "Low speed continuous"},
                          {0x06, "Silent"},
                          {0x07, "10s self timer + continuous"},
                          {0x10, "10s self timer"},
                          {0x11, "2s self timer"},
                          {0x12, "14fps high speed"},
                          {0x13, "Silent single shot"},
                          {0x14, "Silent continuous"},
                          {0x15, "Silent high speed continuous"},
                          {0x16, "Silent low speed continuous"}};
const LabelMap mapD107 = {{0x01, "Spot"}, {0x03, "Evaluative"}, {0x04, "Partial"}, {0x05, "Center-weighted"}};
const LabelMap mapD108 = {{0x00, "One-Shot AF"}, {0x01, "AI Servo AF"}, {0x02, "AI Focus AF"}, {0x03, "Manual"}};
const LabelMap mapD109 = {{0x00, "Auto"},
                          {0x01, "Daylight"},
                          {0x02, "Cloudy"},
                          {0x03, "Tungsten"},
                          {0x04, "Fluorescent"},
                          {0x05, "Flash"},
                          {0x06, "Manual"},
                          {0x08, "Shade"},
                          {0x09, "Color temperature"},
                          {0x0A, "Custom white balance: PC-1"},
                          {0x0B, "Custom white balance: PC-2"},
                          {0x0C, "Custom white balance: PC-3"},
                          {0x0F, "Manual 2"},
                          {0x10, "Manual 3"},
                          {0x12, "Manual 4"},
                          {0x13, "Manual 5"},
                          {0x14, "Custom white balance: PC-4"},
                          {0x15, "Custom white balance: PC-5"}};
const LabelMap mapD10F = {{0x01, "sRGB"}, {0x02, "Adobe"}};
const LabelMap mapD110 = {{0x21, "User 1"},    {0x22, "User 2"},     {0x23, "User 3"},   {0x41, "PC 1"},
                          {0x42, "PC 2"},      {0x43, "PC 3"},       {0x81, "Standard"}, {0x82, "Portrait"},
                          {0x83, "Landscape"}, {0x84, "Neutral"},    {0x85, "Faithful"}, {0x86, "Monochrome"},
                          {0x87, "Auto"},      {0x88, "Fine detail"}};
const LabelMap mapD120 = {{0x10010002, "Large JPEG"},  {0x10010003, "Large fine JPEG"},
                          {0x10010102, "Medium JPEG"}, {0x10010103, "Medium fine JPEG"},
                          {0x10010202, "Small JPEG"},  {0x10010203, "Small fine JPEG"},
                          {0x10010502, "M1 JPEG"},     {0x10010503, "M1 fine JPEG"},
                          {0x10010602, "M2 JPEG"},     {0x10010603, "M2 fine JPEG"},
                          {0x10010E02, "S1 JPEG"},     {0x10010E03, "S1 fine JPEG"},
                          {0x10010F02, "S2 JPEG"},     {0x10010F03, "S2 fine JPEG"},
                          {0x10011002, "S3 JPEG"},     {0x10011003, "S3 fine JPEG"},
                          {0x10060002, "CRW"},         {0x10060004, "RAW"},
                          {0x10060006, "CR2"},         {0x10060104, "MRAW"},
                          {0x10060204, "SRAW"}};
const LabelMap mapD1B0 = {{0x01, "TFT"}, {0x02, "PC"}};
const LabelMap mapD1B1 = {{0x00, "Disable"}, {0x01, "Enable"}};
const LabelMap mapD101 = {
    {0x08, "f/1"},   {0x0B, "f/1.1"}, {0x0C, "f/1.2"}, {0x0D, "f/1.2"}, {0x10, "f/1.4"}, {0x13, "f/1.6"},
    {0x14, "f/1.8"}, {0x15, "f/1.8"}, {0x18, "f/2"},   {0x1B, "f/2.2"}, {0x1C, "f/2.5"}, {0x1D, "f/2.5"},
    {0x20, "f/2.8"}, {0x23, "f/3.2"}, {0x24, "f/3.5"}, {0x25, "f/3.5"}, {0x28, "f/4"},   {0x2B, "f/4.5"},
    {0x2C, "f/4.5"}, {0x2D, "f/5.0"}, {0x30, "f/5.6"}, {0x33, "f/6.3"}, {0x34, "f/6.7"}, {0x35, "f/7.1"},
    {0x38, "f/8"},   {0x3B, "f/9"},   {0x3C, "f/9.5"}, {0x3D, "f/10"},  {0x40, "f/11"},  {0x43, "f/13"},
    {0x44, "f/13"},  {0x45, "f/14"},  {0x48, "f/16"},  {0x4B, "f/18"},  {0x4C, "f/19"},  {0x4D, "f/20"},
    {0x50, "f/22"},  {0x53, "f/25"},  {0x54, "f/27"},  {0x55, "f/29"},  {0x58, "f/32"},  {0x5B, "f/36"},
    {0x5C, "f/38"},  {0x5D, "f/40"},  {0x60, "f/45"},  {0x63, "f/51"},  {0x64, "f/54"},  {0x65, "f/57"},
    {0x68, "f/64"},  {0x6B, "f/72"},  {0x6C, "f/76"},  {0x6D, "f/80"},  {0x70, "f/91"}};
const LabelMap mapD102 = {
    {0x0C, "Bulb"},    {0x10, "30s"},     {0x13, "25s"},     {0x14, "20s"},     {0x15, "20s"},     {0x18, "15s"},
    {0x1B, "13s"},     {0x1C, "10s"},     {0x1D, "10s"},     {0x20, "8s"},      {0x23, "6s"},      {0x24, "6s"},
    {0x25, "5s"},      {0x28, "4s"},      {0x2B, "3.2s"},    {0x2C, "3s"},      {0x2D, "2.5s"},    {0x30, "2s"},
    {0x33, "1.6s"},    {0x34, "1.5s"},    {0x35, "1.3s"},    {0x38, "1s"},      {0x3B, "0.8s"},    {0x3C, "0.7s"},
    {0x3D, "0.6s"},    {0x40, "0.5s"},    {0x43, "0.4s"},    {0x44, "0.3s"},    {0x45, "0.3s"},    {0x48, "1/4s"},
    {0x4B, "1/5s"},    {0x4C, "1/6s"},    {0x4D, "1/6s"},    {0x50, "1/8s"},    {0x53, "1/10s"},   {0x54, "1/10s"},
    {0x55, "1/13s"},   {0x58, "1/15s"},   {0x5B, "1/20s"},   {0x5C, "1/20s"},   {0x5D, "1/25s"},   {0x60, "1/30s"},
    {0x63, "1/40s"},   {0x64, "1/45s"},   {0x65, "1/50s"},   {0x68, "1/60s"},   {0x6B, "1/80s"},   {0x6C, "1/90s"},
    {0x6D, "1/100s"},  {0x70, "1/125s"},  {0x73, "1/160s"},  {0x74, "1/180s"},  {0x75, "1/200s"},  {0x78, "1/250s"},
    {0x7B, "1/320s"},  {0x7C, "1/350s"},  {0x7D, "1/400s"},  {0x80, "1/500s"},  {0x83, "1/640s"},  {0x84, "1/750s"},
    {0x85, "1/800s"},  {0x88, "1/1000s"}, {0x8B, "1/1250s"}, {0x8C, "1/1500s"}, {0x8D, "1/1600s"}, {0x90, "1/2000s"},
    {0x93, "1/2500s"}, {0x94, "1/3000s"}, {0x95, "1/3200s"}, {0x98, "1/4000s"}, {0x9B, "1/5000s"}, {0x9C, "1/6000s"},
    {0x9D, "1/6400s"}, {0xA0, "1/8000s"}};
const LabelMap mapD103 = {{0x00, "Auto"},  {0x40, "50"},    {0x48, "100"},   {0x4B, "125"},   {0x4D, "160"},
                          {0x50, "200"},   {0x53, "250"},   {0x55, "320"},   {0x58, "400"},   {0x5B, "500"},
                          {0x5D, "640"},   {0x60, "800"},   {0x63, "1000"},  {0x65, "1250"},  {0x68, "1600"},
                          {0x6B, "2000"},  {0x6D, "2500"},  {0x70, "3200"},  {0x73, "4000"},  {0x75, "5000"},
                          {0x78, "6400"},  {0x7B, "8000"},  {0x7D, "10000"}, {0x80, "12800"}, {0x83, "16000"},
                          {0x85, "20000"}, {0x88, "25600"}, {0x90, "51200"}, {0x98, "102400"}};
const LabelMap mapD104 = {
    {0x00, "0"},      {0x03, "+1/3"},   {0x04, "+1/2"},   {0x05, "+2/3"},   {0x08, "+1"},     {0x0B, "+1 1/3"},
    {0x0C, "+1 1/2"}, {0x0D, "+1 2/3"}, {0x10, "+2"},     {0x13, "+2 1/3"}, {0x14, "+2 1/2"}, {0x15, "+2 2/3"},
    {0x18, "+3"},     {0x1B, "+3 1/3"}, {0x1C, "+3 1/2"}, {0x1D, "+3 2/3"}, {0x20, "+4"},     {0x23, "+4 1/3"},
    {0x24, "+4 1/2"}, {0x25, "+4 2/3"}, {0x28, "+5"},     {0xD8, "-5"},     {0xDB, "-4 2/3"}, {0xDC, "-4 1/2"},
    {0xDD, "-4 1/3"}, {0xE0, "-4"},     {0xE3, "-3 2/3"}, {0xE4, "-3 1/2"}, {0xE5, "-3 1/3"}, {0xE8, "-3"},
    {0xEB, "-2 2/3"}, {0xEC, "-2 1/2"}, {0xED, "-2 1/3"}, {0xF0, "-2"},     {0xF3, "-1 2/3"}, {0xF4, "-1 1/2"},
    {0xF5, "-1 1/3"}, {0xF8, "-1"},     {0xFB, "-2/3"},   {0xFC, "-1/2"},   {0xFD, "-1/3"}};

struct SensorRow {
    const char* model;
    int32_t width, height;
    float pixelSize;
};

// Ordered as the bodies are matched; names compare whole, so "CANON EOS 5D" never matches the
// Mark II.
constexpr SensorRow sensorRows[] = {
    {"CANON EOS REBEL XTI", 3888, 2592, 5.7f},
    {"CANON EOS REBEL XT", 3456, 2304, 6.4f},
    {"CANON EOS REBEL XSI", 4272, 2848, 5.19f},
    {"CANON EOS REBEL XS", 3888, 2592, 5.7f},
    {"CANON EOS REBEL T1I", 4752, 3168, 4.69f},
    {"CANON EOS REBEL T2I", 5184, 3456, 4.3f},
    {"CANON EOS REBEL T3I", 5184, 3456, 4.3f},
    {"CANON EOS REBEL T3", 4272, 2848, 5.19f},
    {"CANON EOS REBEL T4I", 5184, 3456, 4.3f},
    {"CANON EOS REBEL T5I", 5184, 3456, 4.3f},
    {"CANON EOS REBEL T5", 5184, 3456, 4.3f},
    {"CANON EOS REBEL T6I", 6000, 4000, 3.71f},
    {"CANON EOS REBEL T6S", 6000, 4000, 3.71f},
    {"CANON EOS REBEL T6", 5184, 3456, 4.3f},
    {"CANON EOS REBEL SL1", 5184, 3456, 4.3f},
    {"CANON EOS KISS X2", 4272, 2848, 5.19f},
    {"CANON EOS KISS X3", 4752, 3168, 4.69f},
    {"CANON EOS KISS X4", 5184, 3456, 4.3f},
    {"CANON EOS KISS X50", 4272, 2848, 5.19f},
    {"CANON EOS KISS X5", 5184, 3456, 4.3f},
    {"CANON EOS KISS X6I", 5184, 3456, 4.3f},
    {"CANON EOS KISS X7I", 5184, 3456, 4.3f},
    {"CANON EOS KISS X70", 5184, 3456, 4.3f},
    {"CANON EOS KISS X7", 5184, 3456, 4.3f},
    {"CANON EOS KISS X8I", 6000, 4000, 3.71f},
    {"CANON EOS KISS X80", 5184, 3456, 4.3f},
    {"CANON EOS KISS F", 3888, 2592, 5.7f},
    {"CANON EOS 1000D", 3888, 2592, 5.7f},
    {"CANON EOS 1100D", 4272, 2848, 5.19f},
    {"CANON EOS 1200D", 5184, 3456, 4.3f},
    {"CANON EOS 1300D", 5184, 3456, 4.3f},
    {"CANON EOS 8000D", 6000, 4000, 3.71f},
    {"CANON EOS 100D", 5184, 3456, 4.3f},
    {"CANON EOS 350D", 3456, 2304, 6.4f},
    {"CANON EOS 400D", 3888, 2592, 5.7f},
    {"CANON EOS 450D", 4272, 2848, 5.19f},
    {"CANON EOS 500D", 4752, 3168, 4.69f},
    {"CANON EOS 550D", 5184, 3456, 4.3f},
    {"CANON EOS 600D", 5184, 3456, 4.3f},
    {"CANON EOS 650D", 5184, 3456, 4.3f},
    {"CANON EOS 700D", 5184, 3456, 4.3f},
    {"CANON EOS 750D", 6000, 4000, 3.71f},
    {"CANON EOS 760D", 6000, 4000, 3.71f},
    {"CANON EOS 20D", 3520, 2344, 6.4f},
    {"CANON EOS 20DA", 3520, 2344, 6.4f},
    {"CANON EOS 30D", 3520, 2344, 6.4f},
    {"CANON EOS 40D", 3888, 2592, 5.7f},
    {"CANON EOS 50D", 4752, 3168, 4.69f},
    {"CANON EOS 60D", 5184, 3456, 4.3f},
    {"CANON EOS 70D", 5472, 3648, 6.54f},
    {"CANON EOS 80D", 6000, 4000, 3.71f},
    {"CANON EOS 1DS MARK III", 5616, 3744, 6.41f},
    {"CANON EOS 1D MARK III", 3888, 2592, 5.7f},
    {"CANON EOS 1D MARK IV", 4896, 3264, 5.69f},
    {"CANON EOS 1D X MARK II", 5472, 3648, 6.54f},
    {"CANON EOS 1D X", 5472, 3648, 6.54f},
    {"CANON EOS 1D C", 5184, 3456, 4.3f},
    {"CANON EOS 5D MARK II", 5616, 3744, 6.41f},
    {"CANON EOS 5DS", 8688, 5792, 4.14f},
    {"CANON EOS 5D", 4368, 2912, 8.2f},
    {"CANON EOS 6D", 5472, 3648, 6.54f},
    {"CANON EOS 7D MARK II", 5472, 3648, 4.07f},
    {"CANON EOS 7D", 5184, 3456, 4.3f},
};

} // namespace

const PTPNameTable& canonOperationNames() {
    static const PTPNameTable table(operationRows, &ptpOperationNameTable, "PTPRequestCode");
    return table;
}
const PTPNameTable& canonResponseNames() {
    static const PTPNameTable table(responseRows, &ptpResponseNameTable, "PTPResponseCode");
    return table;
}
const PTPNameTable& canonEventNames() {
    static const PTPNameTable table(eventRows, &ptpEventNameTable, "PTPEventCodeCode");
    return table;
}
const PTPNameTable& canonPropertyNames() {
    static const PTPNameTable table(propertyRows, &ptpPropertyNameTable, "PTPPropertyCode");
    return table;
}

const CanonLabelMap* canonLabelMap(uint16_t code) {
    switch (code) {
    case 0x8101:
        return &map8101;
    case 0x8103:
        return &map8103;
    case 0x810F:
        return &map810F;
    case 0x8201:
        return &map8201;
    case 0x8202:
        return &map8202;
    case 0x8203:
        return &map8203;
    case 0x8204:
        return &map8204;
    case 0x850E:
        return &map850E;
    case 0x8511:
        return &map8511;
    case 0x860F:
    case 0xD13A:
        return &map860F;
    case 0x8701:
        return &map8701;
    case 0x8704:
        return &map8704;
    case 0x880F:
        return &map880F;
    case 0x8811:
        return &map8811;
    case 0xD101:
        return &mapD101;
    case 0xD102:
        return &mapD102;
    case 0xD103:
        return &mapD103;
    case 0xD104:
        return &mapD104;
    case 0xD105:
        return &mapD105;
    case 0xD106:
        return &mapD106;
    case 0xD107:
        return &mapD107;
    case 0xD108:
        return &mapD108;
    case 0xD109:
    case 0xD1B4:
        return &mapD109;
    case 0xD10F:
        return &mapD10F;
    case 0xD110:
        return &mapD110;
    case 0xD120:
    case 0xD121:
    case 0xD122:
    case 0xD123:
        return &mapD120;
    case 0xD1B0:
        return &mapD1B0;
    case 0xD1B1:
        return &mapD1B1;
    default:
        return nullptr;
    }
}

std::string canonImageFormatLabel(uint64_t value) {
    auto groupLabel = [](uint64_t group) {
        const auto found = mapD120.find(static_cast<int64_t>(group));
        return found != mapD120.end() ? found->second : std::string();
    };
    std::string label;
    if (value >> 32) label = groupLabel(value >> 32) + " + ";
    return label + groupLabel(value & 0xFFFFFFFFu);
}

std::string canonCustomFunctionSetting(const std::string& valueText) {
    return valueText.substr(0, valueText.find(' '));
}

CanonReportRule canonReportRule(uint16_t code, int32_t mode) {
    const bool scene = mode > 7;
    auto byMode = [&](bool readOnly, CanonReportKind whenReadOnly) {
        CanonReportRule rule{readOnly ? whenReadOnly : CanonReportKind::MapList, canonLabelMap(code), true, readOnly};
        return rule;
    };
    switch (code) {
    case 0xD101:
        return byMode(mode != 2 && mode != 3 && mode != 4, CanonReportKind::SingleAuto);
    case 0xD102:
        return byMode(mode != 1 && mode != 3, mode == 4 ? CanonReportKind::SingleBulb : CanonReportKind::SingleAuto);
    case 0xD103:
        return byMode(scene, CanonReportKind::SingleAuto);
    case 0xD104:
        return byMode(mode == 3 || scene, CanonReportKind::SingleAuto);
    case 0xD107:
    case 0xD108:
    case 0xD109:
    case 0xD110:
    case 0xD1B4:
        return byMode(scene, CanonReportKind::SingleAuto);
    case 0xD105:
        return {CanonReportKind::AEMode, &mapD105};
    case 0xD106:
    case 0xD10F:
    case 0xD1B1:
        return {CanonReportKind::MapList, canonLabelMap(code)};
    case 0xD10B:
    case 0xD10C:
        return {CanonReportKind::Numbers};
    case 0xD111:
        return {CanonReportKind::Battery};
    case 0x5001:
        return {CanonReportKind::BatteryLevel};
    case 0xD113:
    case 0xD116:
    case 0xD11F:
        return {CanonReportKind::Text};
    case 0xD11C: {
        static const CanonLabelMap none;
        return {CanonReportKind::MapList, &none};
    }
    case 0xD120:
    case 0xD121:
    case 0xD122:
    case 0xD123:
        return {CanonReportKind::ImageFormat, &mapD120};
    case 0xD1B0:
        return {CanonReportKind::ViewfinderOutput, &mapD1B0};
    default:
        if ((code & 0xF000) == 0x8000 || code == 0xD13A) {
            if (const CanonLabelMap* map = canonLabelMap(code)) return {CanonReportKind::MapInterval, map};
        }
        return {};
    }
}

std::vector<std::pair<uint16_t, bool>> canonModePermissions(int32_t mode) {
    const bool scene = mode > 7;
    return {
        {0xD101, mode != 2 && mode != 3 && mode != 4},
        {0xD102, mode != 1 && mode != 3},
        {0xD103, scene},
        {0xD104, mode == 3 || scene},
        {0xD109, scene},
        {0xD108, scene},
        {0xD110, scene},
    };
}

int32_t canonBatteryLevel(int64_t batteryCode) {
    switch (batteryCode) {
    case 1:
        return 50;
    case 2:
        return 100;
    case 4:
        return 75;
    case 5:
        return 25;
    default:
        return 0;
    }
}

CanonSensor canonSensorForModel(const std::string& model) {
    std::string upper;
    for (char c : model) {
        if (static_cast<unsigned char>(c) >= 0x80) return {}; // no ASCII form: no row can match
        upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    for (const SensorRow& row : sensorRows) {
        if (upper == row.model) return {row.width, row.height, row.pixelSize};
    }
    return {};
}
