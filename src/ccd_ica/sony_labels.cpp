#include "ccd_ica/sony_labels.h"

#include "platform/camera/ptp_codes.h"

#include <algorithm>

namespace zeta::ccd_ica::sony {
namespace {

// Aperture x 100.
constexpr int64_t fNumberLadder[] = {350,  400,  450,  500,  560,  630,  710,  800, 900,
                                     1000, 1100, 1300, 1400, 1600, 1800, 2000, 2200};
// Bulb, then numerator x 65536 + denominator from 30 s down to 1/4000 s.
constexpr int64_t shutterSpeedLadder[] = {
    0,       19660810, 16384010, 13107210, 9830410, 8519690, 6553610, 5242890, 3932170, 3276810, 2621450,
    2097162, 1638410,  1310730,  1048586,  851978,  655370,  524298,  393226,  327690,  262154,  65539,
    65540,   65541,    65542,    65544,    65546,   65549,   65551,   65556,   65561,   65566,   65576,
    65586,   65596,    65616,    65636,    65661,   65696,   65736,   65786,   65856,   65936,   66036,
    66176,   66336,    66536,    66786,    67136,   67536,   68036,   68736,   69536};
// Automatic ISO first.
constexpr int64_t isoLadder[] = {16777215, 100,  125,  160,  200,  250,  320,  400,  500,  640,   800,   1000,
                                 1250,     1600, 2000, 2500, 3200, 4000, 5000, 6400, 8000, 10000, 12800, 16000};
// Thousandths of a stop.
constexpr int64_t exposureBiasLadder[] = {-5000, -4700, -4300, -4000, -3700, -3300, -3000, -2700, -2300, -2000, -1700,
                                          -1300, -1000, -700,  -300,  0,     300,   700,   1000,  1300,  1700,  2000,
                                          2300,  2700,  3000,  3300,  3700,  4000,  4300,  4700,  5000};

// Fixed lists: the values offered whatever the camera says it allows.
// FNumber
constexpr SonyLabel fNumberList[] = {
    {350, "f/3.5"}, {400, "f/4"},   {450, "f/4.5"}, {500, "f/5"},   {560, "f/5.6"}, {630, "f/6.3"},
    {710, "f/7.1"}, {800, "f/8"},   {900, "f/9"},   {1000, "f/10"}, {1100, "f/11"}, {1300, "f/13"},
    {1400, "f/14"}, {1600, "f/16"}, {1800, "f/18"}, {2000, "f/20"}, {2200, "f/22"},
};
// FocusMode
constexpr SonyLabel focusModeList[] = {
    {2, "AF-S"},
    {32772, "AF-C"},
    {32774, "DMF"},
    {1, "MF"},
};
// ExposureMeteringMode
constexpr SonyLabel meteringList[] = {
    {1, "Multi"},
    {2, "Center"},
    {4, "Spot"},
};
// ExposureProgramMode
constexpr SonyLabel programModeList[] = {
    {32768, "Intelligent auto"},
    {32769, "Superior auto"},
    {2, "P"},
    {3, "A"},
    {4, "S"},
    {1, "M"},
    {32848, "P - movie"},
    {32849, "A - movie"},
    {32850, "S - movie"},
    {32851, "M - movie"},
    {32852, "0x8054"},
    {32833, "Sweep panorama"},
    {7, "Portrait"},
    {32785, "Sport"},
    {32789, "Macro"},
    {32788, "Landscape"},
    {32786, "Sunset"},
    {32787, "Night scene"},
    {32790, "Handheld twilight"},
    {32791, "Night portrait"},
    {32792, "Anti motion blur"},
};
// ExposureBiasCompensation, +5 down to -5
constexpr SonyLabel exposureBiasList[] = {
    {5000, "+5"},  {4700, "+4 2/3"},  {4300, "+4 1/3"},  {4000, "+4"},  {3700, "+3 2/3"},  {3300, "+3 1/3"},
    {3000, "+3"},  {2700, "+2 2/3"},  {2300, "+2 1/3"},  {2000, "+2"},  {1700, "+1 2/3"},  {1300, "+1 1/3"},
    {1000, "+1"},  {700, "+2/3"},     {300, "+1/3"},     {0, "0"},      {-300, "-1/3"},    {-700, "-2/3"},
    {-1000, "-1"}, {-1300, "-1 1/3"}, {-1700, "-1 2/3"}, {-2000, "-2"}, {-2300, "-2 1/3"}, {-2700, "-2 2/3"},
    {-3000, "-3"}, {-3300, "-3 1/3"}, {-3700, "-3 2/3"}, {-4000, "-4"}, {-4300, "-4 1/3"}, {-4700, "-4 2/3"},
    {-5000, "-5"},
};
// DPCCompensation, +3 down to -3
constexpr SonyLabel dpcList[] = {
    {3000, "+3"},     {2700, "+2 2/3"},  {2300, "+2 1/3"},  {2000, "+2"},      {1700, "+1 2/3"},
    {1300, "+1 1/3"}, {1000, "+1"},      {700, "+2/3"},     {300, "+1/3"},     {0, "0"},
    {-300, "-1/3"},   {-700, "-2/3"},    {-1000, "-1"},     {-1300, "-1 1/3"}, {-1700, "-1 2/3"},
    {-2000, "-2"},    {-2300, "-2 1/3"}, {-2700, "-2 2/3"}, {-3000, "-3"},
};
// ShutterSpeed, 1/4000 s up to 30 s, then bulb (the 1/640 s entry reads 1/600)
constexpr SonyLabel shutterSpeedList[] = {
    {69536, "1/4000"},  {68736, "1/3200"},  {68036, "1/2500"}, {67536, "1/2000"},  {67136, "1/1600"},
    {66786, "1/1250"},  {66536, "1/1000"},  {66336, "1/800"},  {66176, "1/600"},   {66036, "1/500"},
    {65936, "1/400"},   {65856, "1/320"},   {65786, "1/250"},  {65736, "1/200"},   {65696, "1/160"},
    {65661, "1/125"},   {65636, "1/100"},   {65616, "1/80"},   {65596, "1/60"},    {65586, "1/50"},
    {65576, "1/40"},    {65566, "1/30"},    {65561, "1/25"},   {65556, "1/20"},    {65551, "1/15"},
    {65549, "1/13"},    {65546, "1/10"},    {65544, "1/8"},    {65542, "1/6"},     {65541, "1/5"},
    {65540, "1/4"},     {65539, "1/3"},     {262154, "0.4\""}, {327690, "0.5\""},  {393226, "0.6\""},
    {524298, "0.8\""},  {655370, "1\""},    {851978, "1.3\""}, {1048586, "1.6\""}, {1310730, "2.0\""},
    {1638410, "2.5\""}, {2097162, "3.2\""}, {2621450, "4\""},  {3276810, "5\""},   {3932170, "6\""},
    {5242890, "8\""},   {6553610, "10\""},  {8519690, "13\""}, {9830410, "15\""},  {13107210, "20\""},
    {16384010, "25\""}, {19660810, "30\""}, {0, "Bulb"},
};
// CCFilter
constexpr SonyLabel ccFilterList[] = {
    {135, "G7"}, {134, "G6"}, {133, "G5"}, {132, "G4"}, {131, "G3"}, {130, "G2"}, {129, "G1"}, {128, "0"},
    {127, "M1"}, {126, "M2"}, {125, "M3"}, {124, "M4"}, {123, "M5"}, {122, "M6"}, {121, "M7"},
};
// ABFilter
constexpr SonyLabel abFilterList[] = {
    {135, "A7"}, {134, "A6"}, {133, "A5"}, {132, "A4"}, {131, "A3"}, {130, "A2"}, {129, "A1"}, {128, "0"},
    {127, "B1"}, {126, "B2"}, {125, "B3"}, {124, "B4"}, {123, "B5"}, {122, "B6"}, {121, "B7"},
};
// ISO
constexpr SonyLabel isoList[] = {
    {16777215, "Auto"}, {100, "100"},   {125, "125"},   {160, "160"},     {200, "200"},     {250, "250"},
    {320, "320"},       {400, "400"},   {500, "500"},   {640, "640"},     {800, "800"},     {1000, "1000"},
    {1250, "1250"},     {1600, "1600"}, {2000, "2000"}, {2500, "2500"},   {3200, "3200"},   {4000, "4000"},
    {5000, "5000"},     {6400, "6400"}, {8000, "8000"}, {10000, "10000"}, {12800, "12800"}, {16000, "16000"},
};

// Label maps: the camera's own values, labelled.
// CompressionSetting
constexpr SonyLabel compressionMap[] = {
    {2, "Standard"},
    {3, "Fine"},
    {0x10, "RAW"},
    {0x13, "RAW + JPEG"},
};
// WhiteBalance
constexpr SonyLabel whiteBalanceMap[] = {
    {2, "Auto"},
    {4, "Daylight"},
    {0x8011, "Shade"},
    {0x8010, "Cloudy"},
    {6, "Incandescent"},
    {0x8001, "Flourescent warm white"},
    {0x8002, "Flourescent cool white"},
    {0x8003, "Flourescent day white"},
    {0x8004, "Flourescent daylight"},
    {7, "Flash"},
    {0x8012, "C.Temp/Filter"},
    {0x8023, "Custom"},
};
// FlashMode
constexpr SonyLabel flashModeMap[] = {
    {0, "Undefined"},
    {1, "Automatic flash"},
    {2, "Flash off"},
    {3, "Fill flash"},
    {4, "Automatic Red-eye Reduction"},
    {5, "Red-eye fill flash"},
    {6, "External sync"},
    {0x8032, "Slow Sync"},
    {0x8003, "Reer Sync"},
};
// StillCaptureMode
constexpr SonyLabel stillCaptureMap[] = {
    {1, "Single shooting"},           {0x8013, "Cont. shooting"},         {0x8014, "Spd priority cont."},
    {0x8005, "Self-timer 2s"},        {0x8004, "Self-time 10s"},          {0x8008, "Self-timer 10s 3x"},
    {0x8009, "Self-timer 10s 5x"},    {0x8337, "Bracket 1/3EV 3x cont."}, {0x8377, "Bracket 2/3EV 3x cont."},
    {0x8311, "Bracket 1EV 3x cont."}, {0x8321, "Bracket 2EV 3x cont."},   {0x8331, "Bracket 3EV 3x cont."},
    {0x8336, "Bracket 1/3EV 3x"},     {0x8376, "Bracket 2/3EV 3x"},       {0x8310, "Bracket 1EV 3x"},
    {0x8320, "Bracket 2EV 3x"},       {0x8330, "Bracket 3EV 3x"},         {0x8018, "Bracket WB Lo"},
    {0x8028, "Bracket WB Hi"},        {0x8019, "Bracket DRO Lo"},         {0x8029, "Bracket DRO Hi"},
};
// DRangeOptimize
constexpr SonyLabel dRangeMap[] = {
    {1, "Off"},
    {0x1f, "DRO Auto"},
    {0x11, "DRO Lv1"},
    {0x12, "DRO Lv2"},
    {0x13, "DRO Lv3"},
    {0x14, "DRO Lv4"},
    {0x20, "Auto HDR"},
    {0x21, "Auto HDR 1.0EV"},
    {0x22, "Auto HDR 2.0EV"},
    {0x23, "Auto HDR 3.0EV"},
    {0x24, "Auto HDR 4.0EV"},
    {0x25, "Auto HDR 5.0EV"},
    {0x26, "Auto HDR 6.0EV"},
};
// ImageSize
constexpr SonyLabel imageSizeMap[] = {
    {1, "Large"},
    {2, "Medium"},
    {3, "Small"},
};
// AspectRatio
constexpr SonyLabel aspectRatioMap[] = {
    {1, "3:2"},
    {2, "16:9"},
};
// PictureEffect
constexpr SonyLabel pictureEffectMap[] = {
    {0x8000, "Off"},
    {0x8001, "Toy camera - normal"},
    {0x8002, "Toy camera - cool"},
    {0x8003, "Toy camera - warm"},
    {0x8004, "Toy camera - green"},
    {0x8005, "Toy camera - magenta"},
    {0x8010, "Pop Color"},
    {0x8020, "Posterisation B/W"},
    {0x8021, "Posterisation Color"},
    {0x8030, "Retro"},
    {0x8040, "Soft high key"},
    {0x8050, "Partial color - red"},
    {0x8051, "Partial color - green"},
    {0x8052, "Partial color - blue"},
    {0x8053, "Partial color - yellow"},
    {0x8060, "High contrast mono"},
    {0x8070, "Soft focus - low"},
    {0x8071, "Soft focus - mid"},
    {0x8072, "Soft focus - high"},
    {0x8080, "HDR painting - low"},
    {0x8081, "HDR painting - mid"},
    {0x8082, "HDR painting - high"},
    {0x8090, "Rich tone mono"},
    {0x80a0, "Miniature - auto"},
    {0x80a1, "Miniature - top"},
    {0x80a2, "Miniature - middle horizontal"},
    {0x80a3, "Miniature - bottom"},
    {0x80a4, "Miniature - right"},
    {0x80a5, "Miniature - middle vertical"},
    {0x80a6, "Miniature - left"},
    {0x80b0, "Watercolor"},
    {0x80c0, "Illustration - low"},
    {0x80c1, "Illustration - mid"},
    {0x80c2, "Illustration - high"},
};

constexpr uint16_t M = 1, P = 2, A = 3, S = 4;
constexpr uint16_t movieP = 0x8050, movieA = 0x8051, movieS = 0x8052, movieM = 0x8053;
constexpr uint16_t allMovies[] = {movieP, movieA, movieS, movieM};
constexpr uint16_t apertureModes[] = {M, A, movieA, movieM};
constexpr uint16_t shutterModes[] = {M, S, movieS, movieM};
constexpr uint16_t biasModes[] = {P, A, S, movieP, movieA, movieS, movieM};
constexpr uint16_t exposureModes[] = {M, P, A, S, movieP, movieA, movieS, movieM};

using F = SonyRule::Form;
using W = SonyRule::Writable;

constexpr SonyRule rules[] = {
    {PTPPropertyCodeCompressionSetting, F::cameraList, compressionMap, W::cameraFlag, {}},
    {PTPPropertyCodeWhiteBalance, F::cameraList, whiteBalanceMap, W::cameraFlag, {}},
    {PTPPropertyCodeFNumber, F::fixedList, fNumberList, W::inModes, apertureModes},
    {PTPPropertyCodeFocusMode, F::fixedList, focusModeList, W::outsideModes, allMovies},
    {PTPPropertyCodeExposureMeteringMode, F::fixedList, meteringList, W::always, {}},
    {PTPPropertyCodeFlashMode, F::cameraList, flashModeMap, W::cameraFlag, {}},
    {PTPPropertyCodeExposureProgramMode, F::fixedList, programModeList, W::cameraFlag, {}},
    {PTPPropertyCodeExposureBiasCompensation, F::fixedList, exposureBiasList, W::inModes, biasModes},
    {PTPPropertyCodeStillCaptureMode, F::cameraList, stillCaptureMap, W::cameraFlag, {}},
    {PTPPropertyCodeSonyDPCCompensation, F::fixedList, dpcList, W::inModes, exposureModes},
    {PTPPropertyCodeSonyDRangeOptimize, F::cameraList, dRangeMap, W::cameraFlag, {}},
    {PTPPropertyCodeSonyImageSize, F::cameraList, imageSizeMap, W::cameraFlag, {}},
    {PTPPropertyCodeSonyShutterSpeed, F::fixedList, shutterSpeedList, W::inModes, shutterModes},
    {PTPPropertyCodeSonyCCFilter, F::fixedList, ccFilterList, W::cameraFlag, {}},
    {PTPPropertyCodeSonyAspectRatio, F::cameraList, aspectRatioMap, W::cameraFlag, {}},
    {PTPPropertyCodeSonyPictureEffect, F::cameraList, pictureEffectMap, W::cameraFlag, {}},
    {PTPPropertyCodeSonyABFilter, F::fixedList, abFilterList, W::cameraFlag, {}},
    {PTPPropertyCodeSonyISO, F::fixedList, isoList, W::inModes, exposureModes},
};

constexpr SonyLadder ladders[] = {
    {PTPPropertyCodeFNumber, fNumberLadder},
    {PTPPropertyCodeExposureBiasCompensation, exposureBiasLadder},
    {PTPPropertyCodeSonyDPCCompensation, exposureBiasLadder},
    {PTPPropertyCodeSonyShutterSpeed, shutterSpeedLadder},
    {PTPPropertyCodeSonyISO, isoLadder},
};

} // namespace

const SonyRule* rule(uint16_t code) {
    for (const SonyRule& r : rules) {
        if (r.code == code) return &r;
    }
    return nullptr;
}

std::span<const int64_t> ladder(uint16_t code) {
    for (const SonyLadder& l : ladders) {
        if (l.code == code) return l.values;
    }
    return {};
}

bool SonyRule::writableIn(uint16_t mode, bool cameraWritable) const {
    const bool listed = std::find(modes.begin(), modes.end(), mode) != modes.end();
    switch (writable) {
    case Writable::cameraFlag:
        return cameraWritable;
    case Writable::always:
        return true;
    case Writable::inModes:
        return listed;
    case Writable::outsideModes:
        return !listed;
    }
    return cameraWritable;
}

} // namespace zeta::ccd_ica::sony
