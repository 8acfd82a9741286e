#include "ccd_ica/nikon_labels.h"

#include <array>
#include <cstdio>
#include <vector>

namespace zeta::ccd_ica {
namespace {

// clang-format off
constexpr NikonSensor kSensors[] = {
    {"D1", 2000, 1312, 11.8f},
    {"D1H", 2000, 1312, 11.8f},
    {"D1X", 3008, 2000, 7.87f},
    {"D100", 3008, 2000, 7.87f},
    {"D2H", 2464, 1632, 9.45f},
    {"D2HS", 2464, 1632, 9.45f},
    {"D2X", 4288, 2848, 5.52f},
    {"D2XS", 4288, 2848, 5.52f},
    {"D200", 3872, 2592, 6.12f},
    {"D3", 4256, 2832, 8.45f},
    {"D3S", 4256, 2832, 8.45f},
    {"D3X", 6048, 4032, 5.95f},
    {"D300", 4288, 2848, 5.5f},
    {"D300S", 4288, 2848, 5.5f},
    {"D3000", 3872, 2592, 6.09f},
    {"D3100", 4608, 3072, 4.94f},
    {"D3200", 6016, 4000, 3.92f},
    {"D3300", 6016, 4000, 3.92f},
    {"D3400", 6000, 4000, 3.92f},
    {"D3A", 4256, 2832, 8.45f},
    {"D4", 4928, 3280, 7.3f},
    {"D4S", 4928, 3280, 7.3f},
    {"D40", 3008, 2000, 7.87f},
    {"D40X", 3872, 2592, 6.09f},
    {"D5", 5568, 3712, 6.4f},
    {"D50", 3008, 2000, 7.87f},
    {"D500", 5568, 3712, 4.23f},
    {"D5000", 4288, 2848, 5.5f},
    {"D5100", 4928, 3264, 4.78f},
    {"D5200", 6000, 4000, 3.92f},
    {"D5300", 6000, 4000, 3.92f},
    {"D5500", 6000, 4000, 3.92f},
    {"D5600", 6000, 4000, 3.92f},
    {"D60", 3872, 2592, 6.09f},
    {"D600", 6016, 4016, 5.95f},
    {"D610", 6016, 4016, 5.95f},
    {"D70", 3008, 2000, 7.87f},
    {"D70S", 3008, 2000, 7.87f},
    {"D700", 4256, 2832, 8.45f},
    {"D7000", 4928, 3264, 4.78f},
    {"D7100", 6000, 4000, 3.92f},
    {"D7200", 6000, 4000, 3.92f},
    {"D750", 6016, 4016, 3.92f},
    {"D7500", 5568, 3712, 6.4f},
    {"D80", 3872, 2592, 6.09f},
    {"D800", 7360, 4912, 4.88f},
    {"D800E", 7360, 4912, 4.88f},
    {"D810", 7360, 4912, 4.88f},
    {"D810A", 7360, 4912, 4.88f},
    {"D90", 4288, 2848, 5.5f},
    {"DF", 4928, 3264, 4.78f},
};

struct LensRow {
    int64_t id;
    std::string_view name;
};
constexpr LensRow kLenses[] = {
    {0, "Fisheye Nikkor 8mm f/2.8 AiS"},
    {1, "AF Nikkor 50mm f/1.8"},
    {2, "AF Zoom-Nikkor 35-70mm f/3.3-4.5"},
    {3, "AF Zoom-Nikkor 70-210mm f/4"},
    {4, "AF Nikkor 28mm f/2.8"},
    {5, "AF Nikkor 50mm f/1.4"},
    {6, "AF Micro-Nikkor 55mm f/2.8"},
    {7, "AF Zoom-Nikkor 28-85mm f/3.5-4.5"},
    {8, "AF Zoom-Nikkor 35-105mm f/3.5-4.5"},
    {9, "AF Nikkor 24mm f/2.8"},
    {10, "AF Nikkor 300mm f/2.8 IF-ED"},
    {11, "AF Nikkor 180mm f/2.8 IF-ED"},
    {13, "AF Zoom-Nikkor 35-135mm f/3.5-4.5"},
    {14, "AF Zoom-Nikkor 70-210mm f/4"},
    {15, "AF Nikkor 50mm f/1.8 N"},
    {16, "AF Nikkor 300mm f/4 IF-ED"},
    {17, "AF Zoom-Nikkor 35-70mm f/2.8"},
    {18, "AF Nikkor 70-210mm f/4-5.6"},
    {19, "AF Zoom-Nikkor 24-50mm f/3.3-4.5"},
    {20, "AF Zoom-Nikkor 80-200mm f/2.8 ED"},
    {21, "AF Nikkor 85mm f/1.8"},
    {23, "Nikkor 500mm f/4 P ED IF"},
    {24, "AF Zoom-Nikkor 35-135mm f/3.5-4.5 N"},
    {26, "AF Nikkor 35mm f/2"},
    {27, "AF Zoom-Nikkor 75-300mm f/4.5-5.6"},
    {28, "AF Nikkor 20mm f/2.8"},
    {29, "AF Zoom-Nikkor 35-70mm f/3.3-4.5 N"},
    {30, "AF Micro-Nikkor 60mm f/2.8"},
    {31, "AF Micro-Nikkor 105mm f/2.8"},
    {32, "AF Zoom-Nikkor 80-200mm f/2.8 ED"},
    {33, "AF Zoom-Nikkor 28-70mm f/3.5-4.5"},
    {34, "AF DC-Nikkor 135mm f/2"},
    {35, "Zoom-Nikkor 1200-1700mm f/5.6-8 P ED IF"},
    {36, "AF Zoom-Nikkor 80-200mm f/2.8D ED"},
    {37, "AF Zoom-Nikkor 35-70mm f/2.8D"},
    {38, "AF Zoom-Nikkor 28-70mm f/3.5-4.5D"},
    {39, "AF-I Nikkor 300mm f/2.8D IF-ED"},
    {40, "AF-I Nikkor 600mm f/4D IF-ED"},
    {42, "AF Nikkor 28mm f/1.4D"},
    {43, "AF Zoom-Nikkor 35-80mm f/4-5.6D"},
    {44, "AF DC-Nikkor 105mm f/2D"},
    {45, "AF Micro-Nikkor 200mm f/4D IF-ED"},
    {46, "AF Nikkor 70-210mm f/4-5.6D"},
    {47, "AF Zoom-Nikkor 20-35mm f/2.8D IF"},
    {48, "AF-I Nikkor 400mm f/2.8D IF-ED"},
    {49, "AF Micro-Nikkor 60mm f/2.8D"},
    {50, "AF Micro-Nikkor 105mm f/2.8D"},
    {51, "AF Nikkor 18mm f/2.8D"},
    {52, "AF Fisheye Nikkor 16mm f/2.8D"},
    {53, "AF-I Nikkor 500mm f/4D IF-ED"},
    {54, "AF Nikkor 24mm f/2.8D"},
    {55, "AF Nikkor 20mm f/2.8D"},
    {56, "AF Nikkor 85mm f/1.8D"},
    {58, "AF Zoom-Nikkor 28-70mm f/3.5-4.5D"},
    {59, "AF Zoom-Nikkor 35-70mm f/2.8D N"},
    {60, "AF Zoom-Nikkor 80-200mm f/2.8D ED"},
    {61, "AF Zoom-Nikkor 35-80mm f/4-5.6D"},
    {62, "AF Nikkor 28mm f/2.8D"},
    {63, "AF Zoom-Nikkor 35-105mm f/3.5-4.5D"},
    {65, "AF Nikkor 180mm f/2.8D IF-ED"},
    {66, "AF Nikkor 35mm f/2D"},
    {67, "AF Nikkor 50mm f/1.4D"},
    {68, "AF Zoom-Nikkor 80-200mm f/4.5-5.6D"},
    {69, "AF Zoom-Nikkor 28-80mm f/3.5-5.6D"},
    {70, "AF Zoom-Nikkor 35-80mm f/4-5.6D N"},
    {71, "AF Zoom-Nikkor 24-50mm f/3.3-4.5D"},
    {72, "AF-S Nikkor 300mm f/2.8D IF-ED"},
    {73, "AF-S Nikkor 600mm f/4D IF-ED"},
    {74, "AF Nikkor 85mm f/1.4D IF"},
    {75, "AF-S Nikkor 500mm f/4D IF-ED"},
    {76, "AF Zoom-Nikkor 24-120mm f/3.5-5.6D IF"},
    {77, "AF Zoom-Nikkor 28-200mm f/3.5-5.6D IF"},
    {78, "AF DC-Nikkor 135mm f/2D"},
    {79, "IX-Nikkor 24-70mm f/3.5-5.6"},
    {80, "IX-Nikkor 60-180mm f/4-5.6"},
    {83, "AF Zoom-Nikkor 80-200mm f/2.8D ED"},
    {84, "AF Zoom-Micro Nikkor 70-180mm f/4.5-5.6D ED"},
    {86, "AF Zoom-Nikkor 70-300mm f/4-5.6D ED"},
    {89, "AF-S Nikkor 400mm f/2.8D IF-ED"},
    {90, "IX-Nikkor 30-60mm f/4-5.6"},
    {91, "IX-Nikkor 60-180mm f/4.5-5.6"},
    {93, "AF-S Zoom-Nikkor 28-70mm f/2.8D IF-ED"},
    {94, "AF-S Zoom-Nikkor 80-200mm f/2.8D IF-ED"},
    {95, "AF Zoom-Nikkor 28-105mm f/3.5-4.5D IF"},
    {96, "AF Zoom-Nikkor 28-80mm f/3.5-5.6D"},
    {97, "AF Zoom-Nikkor 75-240mm f/4.5-5.6D"},
    {99, "AF-S Nikkor 17-35mm f/2.8D IF-ED"},
    {100, "PC Micro-Nikkor 85mm f/2.8D"},
    {101, "AF VR Zoom-Nikkor 80-400mm f/4.5-5.6D ED"},
    {102, "AF Zoom-Nikkor 18-35mm f/3.5-4.5D IF-ED"},
    {103, "AF Zoom-Nikkor 24-85mm f/2.8-4D IF"},
    {104, "AF Zoom-Nikkor 28-80mm f/3.3-5.6G"},
    {105, "AF Zoom-Nikkor 70-300mm f/4-5.6G"},
    {106, "AF-S Nikkor 300mm f/4D IF-ED"},
    {107, "AF Nikkor ED 14mm f/2.8D"},
    {109, "AF-S Nikkor 300mm f/2.8D IF-ED II"},
    {110, "AF-S Nikkor 400mm f/2.8D IF-ED II"},
    {111, "AF-S Nikkor 500mm f/4D IF-ED II"},
    {112, "AF-S Nikkor 600mm f/4D IF-ED II"},
    {114, "Nikkor 45mm f/2.8 P"},
    {116, "AF-S Zoom-Nikkor 24-85mm f/3.5-4.5G IF-ED"},
    {117, "AF Zoom-Nikkor 28-100mm f/3.5-5.6G"},
    {118, "AF Nikkor 50mm f/1.8D"},
    {119, "AF-S VR Zoom-Nikkor 70-200mm f/2.8G IF-ED"},
    {120, "AF-S VR Zoom-Nikkor 24-120mm f/3.5-5.6G IF-ED"},
    {121, "AF Zoom-Nikkor 28-200mm f/3.5-5.6G IF-ED"},
    {122, "AF-S DX Zoom-Nikkor 12-24mm f/4G IF-ED"},
    {123, "AF-S VR Zoom-Nikkor 200-400mm f/4G IF-ED"},
    {125, "AF-S DX Zoom-Nikkor 17-55mm f/2.8G IF-ED"},
    {127, "AF-S DX Zoom-Nikkor 18-70mm f/3.5-4.5G IF-ED"},
    {128, "AF DX Fisheye-Nikkor 10.5mm f/2.8G ED"},
    {129, "AF-S VR Nikkor 200mm f/2G IF-ED"},
    {130, "AF-S VR Nikkor 300mm f/2.8G IF-ED"},
    {131, "FSA-L2, EDG 65, 800mm F13 G"},
    {137, "AF-S DX Zoom-Nikkor 55-200mm f/4-5.6G ED"},
    {138, "AF-S VR Micro-Nikkor 105mm f/2.8G IF-ED"},
    {139, "AF-S DX VR Zoom-Nikkor 18-200mm f/3.5-5.6G IF-ED"},
    {140, "AF-S DX Zoom-Nikkor 18-55mm f/3.5-5.6G ED"},
    {141, "AF-S VR Zoom-Nikkor 70-300mm f/4.5-5.6G IF-ED"},
    {143, "AF-S DX Zoom-Nikkor 18-135mm f/3.5-5.6G IF-ED"},
    {144, "AF-S DX VR Zoom-Nikkor 55-200mm f/4-5.6G IF-ED"},
    {146, "AF-S Zoom-Nikkor 14-24mm f/2.8G ED"},
    {147, "AF-S Zoom-Nikkor 24-70mm f/2.8G ED"},
    {148, "AF-S DX Zoom-Nikkor 18-55mm f/3.5-5.6G ED II"},
    {149, "PC-E Nikkor 24mm f/3.5D ED"},
    {150, "AF-S VR Nikkor 400mm f/2.8G ED"},
    {151, "AF-S VR Nikkor 500mm f/4G ED"},
    {152, "AF-S VR Nikkor 600mm f/4G ED"},
    {153, "AF-S DX VR Zoom-Nikkor 16-85mm f/3.5-5.6G ED"},
    {154, "AF-S DX VR Zoom-Nikkor 18-55mm f/3.5-5.6G"},
    {155, "PC-E Micro Nikkor 45mm f/2.8D ED"},
    {156, "AF-S Micro Nikkor 60mm f/2.8G ED"},
    {157, "PC-E Micro Nikkor 85mm f/2.8D"},
    {158, "AF-S DX VR Zoom-Nikkor 18-105mm f/3.5-5.6G ED"},
    {159, "AF-S DX Nikkor 35mm f/1.8G"},
    {160, "AF-S Nikkor 50mm f/1.4G"},
    {161, "AF-S DX Nikkor 10-24mm f/3.5-4.5G ED"},
    {162, "AF-S Nikkor 70-200mm f/2.8G ED VR II"},
    {163, "AF-S Nikkor 16-35mm f/4G ED VR"},
    {164, "AF-S Nikkor 24mm f/1.4G ED"},
    {165, "AF-S Nikkor 28-300mm f/3.5-5.6G ED VR"},
    {166, "AF-S Nikkor 300mm f/2.8G IF-ED VR II"},
    {167, "AF-S DX Micro Nikkor 85mm f/3.5G ED VR"},
    {168, "AF-S Zoom-Nikkor 200-400mm f/4G IF-ED VR II"},
    {169, "AF-S Nikkor 200mm f/2G ED VR II"},
    {170, "AF-S Nikkor 24-120mm f/4G ED VR"},
    {172, "AF-S DX Nikkor 55-300mm f/4.5-5.6G ED VR"},
    {173, "AF-S DX Nikkor 18-300mm f/3.5-5.6G ED VR"},
    {174, "AF-S Nikkor 85mm f/1.4G"},
    {175, "AF-S Nikkor 35mm f/1.4G"},
    {176, "AF-S Nikkor 50mm f/1.8G"},
    {177, "AF-S DX Micro Nikkor 40mm f/2.8G"},
    {178, "AF-S Nikkor 70-200mm f/4G ED VR"},
    {179, "AF-S Nikkor 85mm f/1.8G"},
    {180, "AF-S Nikkor 24-85mm f/3.5-4.5G ED VR"},
    {181, "AF-S Nikkor 28mm f/1.8G"},
    {182, "AF-S VR Nikkor 800mm f/5.6E FL ED"},
    {183, "AF-S Nikkor 80-400mm f/4.5-5.6G ED VR"},
    {184, "AF-S Nikkor 18-35mm f/3.5-4.5G ED"},
    {416, "AF-S DX Nikkor 18-140mm f/3.5-5.6G ED VR"},
    {417, "AF-S Nikkor 58mm f/1.4G"},
    {418, "AF-S DX Nikkor 18-55mm f/3.5-5.6G VR II"},
    {420, "AF-S DX Nikkor 18-300mm f/3.5-6.3G ED VR"},
    {421, "AF-S Nikkor 35mm f/1.8G ED"},
    {422, "AF-S Nikkor 400mm f/2.8E FL ED VR"},
    {423, "AF-S DX Nikkor 55-200mm f/4-5.6G ED VR II"},
    {424, "AF-S Nikkor 300mm f/4E PF ED VR"},
    {425, "AF-S Nikkor 20mm f/1.8G ED"},
    {682, "AF-S Nikkor 24-70mm f/2.8E ED VR"},
    {683, "AF-S Nikkor 500mm f/4E FL ED VR"},
    {684, "AF-S Nikkor 600mm f/4E FL ED VR"},
    {685, "AF-S DX Nikkor 16-80mm f/2.8-4E ED VR"},
    {686, "AF-S Nikkor 200-500mm f/5.6E ED VR"},
    {928, "AF-P DX Nikkor 18-55mm f/3.5-5.6G VR"},
    {931, "AF-P DX Nikkor 70–300mm f/4.5–6.3G ED VR"},
    {932, "AF-S Nikkor 70-200mm f/2.8E FL ED VR"},
    {933, "AF-S Nikkor 105mm f/1.4E ED"},
    {943, "AF-S Nikkor 24mm f/1.8G ED"},
};

// Runs of consecutive codes: each name belongs to the next code of its run.
struct NameRun {
    uint16_t first;
    std::vector<std::string_view> names;
};
const NameRun kNameRuns[] = {
    {0xD010, {"ShootingBank", "ShootingBankNameA", "ShootingBankNameB", "ShootingBankNameC", "ShootingBankNameD", "ResetBank0", "RawCompression", "WhiteBalanceAutoBias", "WhiteBalanceTungstenBias", "WhiteBalanceFluorescentBias", "WhiteBalanceDaylightBias", "WhiteBalanceFlashBias", "WhiteBalanceCloudyBias", "WhiteBalanceShadeBias", "WhiteBalanceColorTemperature", "WhiteBalancePresetNo", "WhiteBalancePresetName0", "WhiteBalancePresetName1", "WhiteBalancePresetName2", "WhiteBalancePresetName3", "WhiteBalancePresetName4", "WhiteBalancePresetVal0", "WhiteBalancePresetVal1", "WhiteBalancePresetVal2", "WhiteBalancePresetVal3", "WhiteBalancePresetVal4", "ImageSharpening", "ToneCompensation", "ColorModel", "HueAdjustment", "NonCPULensDataFocalLength", "NonCPULensDataMaximumAperture", "ShootingMode", "JPEGCompressionPolicy", "ColorSpace", "AutoDXCrop", "FlickerReduction", "RemoteMode", "VideoMode", "EffectMode", "1Mode"}},
    {0xD040, {"CSMMenuBankSelect", "MenuBankNameA", "MenuBankNameB", "MenuBankNameC", "MenuBankNameD", "ResetBank"}},
    {0xD048, {"AFCModePriority", "AFSModePriority", "GroupDynamicAF", "AFActivation", "FocusAreaIllumManualFocus", "FocusAreaIllumContinuous", "FocusAreaIllumWhenSelected", "FocusAreaWrap", "VerticalAFON", "AFLockOn", "FocusAreaZone", "EnableCopyright", "ISOAutoTime", "EVISOStep", "EVStep", "EVStepExposureComp", "ExposureCompensation", "CenterWeightArea", "ExposureBaseMatrix", "ExposureBaseCenter", "ExposureBaseSpot", "LiveViewAFArea", "AELockMode", "AELAFLMode"}},
    {0xD061, {"LiveViewAFFocus", "MeterOff", "SelfTimer", "MonitorOff", "ImgConfTime", "AutoOffTimers", "AngleLevel", "ShootingSpeed", "MaximumShots", "ExposureDelayMode", "LongExposureNoiseReduction", "FileNumberSequence", "ControlPanelFinderRearControl", "ControlPanelFinderViewfinder", "Illumination", "NrHighISO", "SHSETCHGUIDDISP", "ArtistName", "CopyrightInfo", "FlashSyncSpeed", "FlashShutterSpeed", "AAFlashMode", "ModelingFlash", "BracketSet", "ManualModeBracketing", "BracketOrder", "AutoBracketSelection", "BracketingSet"}},
    {0xD080, {"CenterButtonShootingMode", "CenterButtonPlaybackMode", "Fultiselector", "PhotoInfoPlayback", "AssignFuncButton", "CustomizeCommDials", "ReverseCommandDial", "ApertureSetting", "MenusAndPlayback", "ButtonsAndDials", "NoCFCard", "CenterButtonZoomRatio", "FunctionButton2", "AFAreaPoint", "NormalAFOn", "CleanImageSensor", "ImageCommentString", "ImageCommentEnable", "ImageRotation", "ManualSetLensNo"}},
    {0xD0A0, {"MovScreenSize", "MovVoice", "MovMicrophone", "MovFileSlot", "MovRecProhibitCondition"}},
    {0xD0A6, {"ManualMovieSetting", "MovHiQuality", "MovMicSensitivity"}},
    {0xD0AA, {"MovWindNoiceReduction"}},
    {0xD0B2, {"LiveViewScreenDisplaySetting", "MonitorOffDelay"}},
    {0xD0B5, {"ISOSensitivity"}},
    {0xD0C0, {"Bracketing", "AutoExposureBracketStep", "AutoExposureBracketProgram", "AutoExposureBracketCount", "WhiteBalanceBracketStep", "WhiteBalanceBracketProgram"}},
    {0xD0E0, {"LensID", "LensSort", "LensType", "FocalLengthMin", "FocalLengthMax", "MaxApAtMinFocalLength", "MaxApAtMaxFocalLength"}},
    {0xD0F0, {"FinderISODisp"}},
    {0xD0F2, {"AutoOffPhoto", "AutoOffMenu", "AutoOffInfo", "SelfTimerShootNum"}},
    {0xD0F7, {"VignetteCtrl", "AutoDistortionControl", "SceneMode"}},
    {0xD0FD, {"SceneMode2", "SelfTimerInterval"}},
    {0xD100, {"ExposureTime", "ACPower", "WarningStatus", "RemainingShots", "AFLockStatus", "AELockStatus", "FVLockStatus", "AutofocusLCDTopMode2", "AutofocusSensor", "FlexibleProgram", "LightMeter", "SaveMedia", "USBSpeed", "CCDNumber", "CameraInclination", "GroupPtnType", "FNumberLock", "ExposureApertureLock", "TVLockSetting", "AVLockSetting", "IllumSetting", "FocusPointBright"}},
    {0xD120, {"ExternalFlashAttached", "ExternalFlashStatus", "ExternalFlashSort", "ExternalFlashMode", "ExternalFlashCompensation", "NewExternalFlashMode", "FlashExposureCompensation"}},
    {0xD130, {"HDRMode", "HDRHighDynamic", "HDRSmoothing"}},
    {0xD140, {"OptimizeImage"}},
    {0xD142, {"Saturation", "BWFillerEffect", "BWSharpness", "BWContrast", "BWSettingType"}},
    {0xD148, {"Slot2SaveMode", "RawBitMode"}},
    {0xD14E, {"ActiveDLighting", "FlourescentType", "TuneColourTemperature", "TunePreset0", "TunePreset1", "TunePreset2", "TunePreset3", "TunePreset4"}},
    {0xD160, {"BeepOff", "AutofocusMode"}},
    {0xD163, {"AFAssist", "PADVPMode", "ImageReview", "AFAreaIllumination", "FlashMode", "FlashCommanderMode", "FlashSign", "ISOAuto", "RemoteTimeout", "GridDisplay", "FlashModeManualPower", "FlashModeCommanderPower", "AutoFP", "DateImprintSetting", "DateCounterSelect", "DateCountData", "DateCountDisplaySetting", "RangeFinderSetting"}},
    {0xD180, {"CSMMenu", "WarningDisplay", "BatteryCellKind", "ISOAutoHiLimit", "DynamicAFArea"}},
    {0xD186, {"ContinuousSpeedHigh", "InfoDispSetting"}},
    {0xD189, {"PreviewButton", "PreviewButton2", "AEAFLockButton2"}},
    {0xD18D, {"IndicatorDisp", "CellKindPriority"}},
    {0xD190, {"BracketingFramesAndSteps"}},
    {0xD1A0, {"LiveViewMode", "LiveViewDriveMode", "LiveViewStatus", "LiveViewImageZoomRatio", "LiveViewProhibitCondition"}},
    {0xD1A8, {"MovieShutterSpeed", "MovieFNumber", "MovieISO"}},
    {0xD1AC, {"LiveViewImageSize"}},
    {0xD1B0, {"BlinkingStatus", "ExposureIndicateStatus", "InfoDispErrStatus", "ExposureIndicateLightup"}},
    {0xD1C0, {"FlashOpen", "FlashCharged"}},
    {0xD1D0, {"FlashMRepeatValue", "FlashMRepeatCount", "FlashMRepeatInterval", "FlashCommandChannel", "FlashCommandSelfMode", "FlashCommandSelfCompensation", "FlashCommandSelfValue", "FlashCommandAMode", "FlashCommandACompensation", "FlashCommandAValue", "FlashCommandBMode", "FlashCommandBCompensation", "FlashCommandBValue"}},
    {0xD1F0, {"ApplicationMode"}},
    {0xD1F2, {"ActiveSlot"}},
    {0xD200, {"ActivePicCtrlItem", "ChangePicCtrlItem"}},
    {0xD236, {"MovieNrHighISO"}},
};

struct MapRow {
    uint16_t code;
    bool wholeRange;
    NikonLabelMap map;
};
const MapRow kMaps[] = {
    {0x5005, false, NikonLabelMap{{1, "Manual"}, {2, "Auto"}, {3, "One-push Auto"}, {4, "Daylight"}, {5, "Fluorescent"}, {6, "Incandescent"}, {7, "Flash"}, {0x8010, "Cloudy"}, {0x8011, "Shade"}, {0x8012, "Color Temperature"}, {0x8013, "Preset"}}},
    {0x500A, false, NikonLabelMap{{1, "Manual"}, {2, "Automatic"}, {3, "Macro"}, {0x8010, "AF-S"}, {0x8011, "AF-C"}, {0x8012, "AF-A"}, {0x8013, "M"}}},
    {0x500C, false, NikonLabelMap{{0, "Undefined"}, {1, "Automatic flash"}, {2, "Flash off"}, {3, "Fill flash"}, {4, "Automatic Red-eye Reduction"}, {5, "Red-eye fill flash"}, {6, "External sync"}, {0x8010, "Auto"}, {0x8011, "Auto Slow Sync"}, {0x8012, "Rear Curtain Sync + Slow Sync"}, {0x8013, "Red-eye Reduction + Slow Sync"}}},
    {0x500E, false, NikonLabelMap{{1, "Manual"}, {2, "Program"}, {3, "Aperture priority"}, {4, "Shutter priority"}, {0x8010, "Auto"}, {0x8011, "Portrait"}, {0x8012, "Landscape"}, {0x8013, "Macro"}, {0x8014, "Sport"}, {0x8015, "Night portrait"}, {0x8016, "Night landscape"}, {0x8017, "Child"}, {0x8018, "Scene"}, {0x8019, "Effects"}}},
    {0x5013, false, NikonLabelMap{{1, "Single shot"}, {2, "Continuous"}, {3, "Timelapse"}, {0x8010, "Continuous low speed"}, {0x8011, "Timer"}, {0x8012, "Mirror up"}, {0x8013, "Remote"}, {0x8014, "Timer + Remote"}, {0x8015, "Delayed remote"}, {0x8016, "Quiet shutter release"}}},
    {0x501C, false, NikonLabelMap{{1, "Center-spot"}, {2, "Multi-spot"}, {0x8010, "Single Area"}, {0x8011, "Auto area"}, {0x8012, "3D tracking"}, {0x8013, "21 points"}, {0x8014, "39 points"}}},
    {0xD015, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD045, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD04F, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD053, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD054, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD06B, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD08A, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD091, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD092, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD0A6, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD0A7, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD0AA, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD0C0, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD0F8, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD104, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD105, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD120, true, NikonLabelMap{{0, "Off"}, {1, "On"}}},
    {0xD032, true, NikonLabelMap{{0, "sRGB"}, {1, "Adobe RGB"}}},
    {0xD123, true, NikonLabelMap{{0, "sRGB"}, {1, "Adobe RGB"}}},
    {0xD037, true, NikonLabelMap{{0, "Night Vision"}, {1, "Color Sketch"}, {2, "Miniature Effect"}, {3, "Selective Color"}, {4, "Silhouette"}, {5, "High Key"}, {6, "Low Key"}}},
    {0xD048, true, NikonLabelMap{{0, "Release"}, {1, "Focus"}}},
    {0xD049, true, NikonLabelMap{{0, "Focus"}, {1, "Release"}}},
    {0xD051, true, NikonLabelMap{{0, "5 (long)"}, {1, "4"}, {2, "3 (normal)"}, {3, "2"}, {4, "1 (short)"}, {5, "Off"}}},
    {0xD055, true, NikonLabelMap{{0, "1/3"}, {1, "1/2"}}},
    {0xD056, true, NikonLabelMap{{0, "1/3"}, {1, "1/2"}}},
    {0xD05D, true, NikonLabelMap{{0, "Face priority"}, {1, "Wide area"}, {2, "Normal area"}}},
    {0xD08D, true, NikonLabelMap{{0, "AF51"}, {1, "AF11"}}},
    {0xD08F, true, NikonLabelMap{{0, "At startup"}, {1, "At shutdown"}, {2, "At startup + shutdown"}, {3, "Off"}}},
    {0xD0A0, true, NikonLabelMap{{0, "1920x1080 50p"}, {1, "1920x1080 25p"}, {2, "1920x1080 24p"}, {3, "1280x720 50p"}, {4, "640x424 25p"}, {5, "1920x1080 25p"}, {6, "1920x1080 24p"}, {7, "1280x720 50p"}}},
    {0xD0F7, true, NikonLabelMap{{0, "High"}, {1, "Normal"}, {2, "Low"}, {3, "Off"}}},
    {0xD0F9, true, NikonLabelMap{{0, "NightLandscape"}, {1, "PartyIndoor"}, {2, "BeachSnow"}, {3, "Sunset"}, {4, "Duskdawn"}, {5, "Petportrait"}, {6, "Candlelight"}, {7, "Blossom"}, {8, "AutumnColors"}, {9, "Food"}, {10, "Silhouette"}, {11, "Highkey"}, {12, "Lowkey"}, {13, "Portrait"}, {14, "Landscape"}, {15, "Child"}, {16, "Sports"}, {17, "Closeup"}, {18, "NightPortrait"}}},
    {0xD10B, true, NikonLabelMap{{0, "Card"}, {1, "SDRAM"}, {2, "Card + SDRAM"}}},
    {0xD10E, true, NikonLabelMap{{0, "Level"}, {1, "Grip is top"}, {2, "Grip is bottom"}, {3, "Up Down"}}},
    {0xD130, true, NikonLabelMap{{0, "Off"}, {1, "Low"}, {2, "Normal"}, {3, "High"}, {4, "Extra high"}, {5, "Auto"}}},
    {0xD149, true, NikonLabelMap{{0, "12 bit"}, {1, "14 bit"}}},
    {0xD14E, true, NikonLabelMap{{0, "High"}, {1, "Normal"}, {2, "Low"}, {3, "Off"}, {4, "Extra high"}, {5, "Auto"}}},
    {0xD14F, true, NikonLabelMap{{0, "Sodium-vapor"}, {1, "Warm-white"}, {2, "White"}, {3, "Cool-white"}, {4, "Day white"}, {5, "Daylight"}, {6, "High temp. mercury-vapor"}}},
    {0xD163, true, NikonLabelMap{{0, "On"}, {1, "Off"}}},
    {0xD1A3, true, NikonLabelMap{{0, "1x"}, {1, "2x"}, {2, "3x"}, {3, "4x"}, {4, "6x"}, {5, "8x"}}},
    {0xD1AC, true, NikonLabelMap{{1, "QVGA"}, {2, "VGA"}}},
    {0xD1B0, true, NikonLabelMap{{0, "None"}, {1, "Shutter"}, {2, "Aperture"}, {3, "Shutter + Aperture"}}},
    {0xD200, true, NikonLabelMap{{0, "Undefined"}, {1, "Standard"}, {2, "Neutral"}, {3, "Vivid"}, {4, "Monochrome"}, {5, "Portrait"}, {6, "Landscape"}, {7, "Flat"}, {201, "Custom 1"}, {202, "Custom 2"}, {203, "Custom 3"}, {204, "Custom 4"}, {205, "Custom 5"}, {206, "Custom 6"}, {207, "Custom 7"}, {208, "Custom 8"}, {209, "Custom 9"}}},
};

struct ProhibitReason {
    uint32_t mask;
    std::string_view text;
};
constexpr ProhibitReason kProhibitReasons[] = {
    {0x80000000, "Exposure Mode is non-P,S,A,M"},
    {0x01000000, "When Retractable lens is set, the zoom ring does not extend"},
    {0x00200000, "Bulb warning, ShutterSpeed is Time"},
    {0x00100000, "Card not formatted"},
    {0x00080000, "Card error"},
    {0x00040000, "Card protected"},
    {0x00020000, "High temperature"},
    {0x00008000, "Capture command is executing"},
    {0x00004000, "No memory card is inserted in the camera"},
    {0x00000800, "Non-CPU lens is attached and ExposureMode is not Manual or Aperture priority"},
    {0x00000400, "The setting by Aperture ring is valid"},
    {0x00000200, "TTL error"},
    {0x00000100, "Battery shortage"},
    {0x00000080, "Mirror up"},
    {0x00000040, "Shutter bulb"},
    {0x00000020, "Aperture ring is not minimum"},
    {0x00000004, "Sequence error"},
    {0x00000001, "Recording media is CF/SD card"},
};
// clang-format on

struct PropertyNames {
    std::vector<std::string> texts; // owns the names the entries point at
    std::vector<PTPCodeName> entries;
    PTPNameTable table;
    PropertyNames() : table({}, &ptpPropertyNames(), "") {
        for (const NameRun& run : kNameRuns) {
            for (std::size_t i = 0; i < run.names.size(); ++i)
                texts.push_back("PTPPropertyCodeNikon" + std::string(run.names[i]));
        }
        std::size_t next = 0;
        for (const NameRun& run : kNameRuns) {
            for (std::size_t i = 0; i < run.names.size(); ++i)
                entries.push_back({static_cast<uint16_t>(run.first + i), texts[next++]});
        }
        table = PTPNameTable(entries, &ptpPropertyNames(), "");
    }
};

} // namespace

std::optional<NikonSensor> nikonSensor(std::string_view deviceName) {
    std::string upper;
    for (const char c : deviceName) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) return std::nullopt; // no ASCII form
        upper.push_back(byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : c);
    }
    for (const NikonSensor& row : kSensors) {
        if (row.model == upper) return row;
    }
    return std::nullopt;
}

std::optional<std::string_view> nikonLensName(int64_t lensID) {
    for (const LensRow& row : kLenses) {
        if (row.id == lensID) return row.name;
    }
    return std::nullopt;
}

const PTPNameTable& nikonPropertyNames() {
    static const PropertyNames names;
    return names.table;
}

std::optional<NikonLabels> nikonLabels(uint16_t propertyCode) {
    for (const MapRow& row : kMaps) {
        if (row.code == propertyCode) return NikonLabels{row.wholeRange, &row.map};
    }
    return std::nullopt;
}

std::string nikonProhibitText(uint32_t condition) {
    char head[48];
    std::snprintf(head, sizeof head, "LiveViewProhibitCondition 0x%08x", condition);
    std::string text = head;
    for (const ProhibitReason& reason : kProhibitReasons) {
        if (condition & reason.mask) text += ", " + std::string(reason.text);
    }
    return text;
}

} // namespace zeta::ccd_ica
