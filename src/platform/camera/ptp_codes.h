#pragma once
// Every PTP code Zeta knows, defined once: the operation, response, event, property, datatype
// and vendor-extension codes that the camera framework, its transport, the simulated cameras
// and the camera driver use, and from which the driver's name tables (ptp_names.cpp) are
// built. Each list row is X(code, name); the constant is the kind's prefix + name
// (PTPRequestCodeGetDeviceInfo) and the name in log lines is the same text.
//
// A vendor's codes are rows too: a list of its own here (ZETA_PTP_<VENDOR>_OPERATION_CODES,
// with the vendor in each name: X(0x90C7, NikonCheckEvent)), its constants made with
// ZETA_PTP_CODE_CONSTANT, and one table in ptp_names.cpp that extends the base table, so that
// a code one vendor gives a meaning names nothing for the others.

#include <cstdint>

// clang-format off
#define ZETA_PTP_OPERATION_CODES(X) \
    X(0x1000, Undefined) \
    X(0x1001, GetDeviceInfo) \
    X(0x1002, OpenSession) \
    X(0x1003, CloseSession) \
    X(0x1004, GetStorageIDs) \
    X(0x1005, GetStorageInfo) \
    X(0x1006, GetNumObjects) \
    X(0x1007, GetObjectHandles) \
    X(0x1008, GetObjectInfo) \
    X(0x1009, GetObject) \
    X(0x100A, GetThumb) \
    X(0x100B, DeleteObject) \
    X(0x100C, SendObjectInfo) \
    X(0x100D, SendObject) \
    X(0x100E, InitiateCapture) \
    X(0x100F, FormatStore) \
    X(0x1010, ResetDevice) \
    X(0x1011, SelfTest) \
    X(0x1012, SetObjectProtection) \
    X(0x1013, PowerDown) \
    X(0x1014, GetDevicePropDesc) \
    X(0x1015, GetDevicePropValue) \
    X(0x1016, SetDevicePropValue) \
    X(0x1017, ResetDevicePropValue) \
    X(0x1018, TerminateOpenCapture) \
    X(0x1019, MoveObject) \
    X(0x101A, CopyObject) \
    X(0x101B, GetPartialObject) \
    X(0x101C, InitiateOpenCapture) \
    X(0x9001, GetNumDownloadableObjects) \
    X(0x9002, GetAllObjectInfo) \
    X(0x9003, GetUserAssignedDeviceName) \
    X(0x9801, MTPGetObjectPropsSupported) \
    X(0x9802, MTPGetObjectPropDesc) \
    X(0x9803, MTPGetObjectPropValue) \
    X(0x9804, MTPSetObjectPropValue) \
    X(0x9805, MTPGetObjPropList) \
    X(0x9806, MTPSetObjPropList) \
    X(0x9807, MTPGetInterdependendPropdesc) \
    X(0x9808, MTPSendObjectPropList) \
    X(0x9810, MTPGetObjectReferences) \
    X(0x9811, MTPSetObjectReferences) \
    X(0x9812, MTPUpdateDeviceFirmware) \
    X(0x9820, MTPSkip)

#define ZETA_PTP_RESPONSE_CODES(X) \
    X(0x2000, Undefined) \
    X(0x2001, OK) \
    X(0x2002, GeneralError) \
    X(0x2003, SessionNotOpen) \
    X(0x2004, InvalidTransactionID) \
    X(0x2005, OperationNotSupported) \
    X(0x2006, ParameterNotSupported) \
    X(0x2007, IncompleteTransfer) \
    X(0x2008, InvalidStorageID) \
    X(0x2009, InvalidObjectHandle) \
    X(0x200A, DevicePropNotSupported) \
    X(0x200B, InvalidObjectFormatCode) \
    X(0x200C, StoreFull) \
    X(0x200D, ObjectWriteProtected) \
    X(0x200E, StoreReadOnly) \
    X(0x200F, AccessDenied) \
    X(0x2010, NoThumbnailPresent) \
    X(0x2011, SelfTestFailed) \
    X(0x2012, PartialDeletion) \
    X(0x2013, StoreNotAvailable) \
    X(0x2014, FilterByFormatUnsupported) \
    X(0x2015, NoValidObjectInfo) \
    X(0x2016, InvalidCodeFormat) \
    X(0x2017, UnknownVendorCode) \
    X(0x2018, CaptureAlreadyTerminated) \
    X(0x2019, DeviceBusy) \
    X(0x201A, InvalidParentObject) \
    X(0x201B, InvalidDevicePropFormat) \
    X(0x201C, InvalidDevicePropValue) \
    X(0x201D, InvalidParameter) \
    X(0x201E, SessionAlreadyOpen) \
    X(0x201F, TransactionCancelled) \
    X(0x2020, DestinationChoiceUnsupported) \
    X(0xA800, MTPUndefined) \
    X(0xA801, MTPInvalidObjectPropCode) \
    X(0xA802, MTPInvalidObjectProp_Format) \
    X(0xA803, MTPInvalidObjectProp_Value) \
    X(0xA804, MTPInvalidObjectReference) \
    X(0xA806, MTPInvalidDataset) \
    X(0xA807, MTPFilterByGroupUnsupported) \
    X(0xA808, MTPFilterByDepthUnsupported) \
    X(0xA809, MTPObjectTooLarge) \
    X(0xA80A, MTPObjectPropNotSupported)

#define ZETA_PTP_EVENT_CODES(X) \
    X(0x4000, Undefined) \
    X(0x4001, CancelTransaction) \
    X(0x4002, ObjectAdded) \
    X(0x4003, ObjectRemoved) \
    X(0x4004, StoreAdded) \
    X(0x4005, StoreRemoved) \
    X(0x4006, DevicePropChanged) \
    X(0x4007, ObjectInfoChanged) \
    X(0x4008, DeviceInfoChanged) \
    X(0x4009, RequestObjectTransfer) \
    X(0x400A, StoreFull) \
    X(0x400B, DeviceReset) \
    X(0x400C, StorageInfoChanged) \
    X(0x400D, CaptureComplete) \
    X(0x400E, UnreportedStatus) \
    X(0xC001, AppleDeviceUnlocked) \
    X(0xC002, AppleUserAssignedNameChanged)

#define ZETA_PTP_PROPERTY_CODES(X) \
    X(0x5000, Undefined) \
    X(0x5001, BatteryLevel) \
    X(0x5002, FunctionalMode) \
    X(0x5003, ImageSize) \
    X(0x5004, CompressionSetting) \
    X(0x5005, WhiteBalance) \
    X(0x5006, RGBGain) \
    X(0x5007, FNumber) \
    X(0x5008, FocalLength) \
    X(0x5009, FocusDistance) \
    X(0x500A, FocusMode) \
    X(0x500B, ExposureMeteringMode) \
    X(0x500C, FlashMode) \
    X(0x500D, ExposureTime) \
    X(0x500E, ExposureProgramMode) \
    X(0x500F, ExposureIndex) \
    X(0x5010, ExposureBiasCompensation) \
    X(0x5011, DateTime) \
    X(0x5012, CaptureDelay) \
    X(0x5013, StillCaptureMode) \
    X(0x5014, Contrast) \
    X(0x5015, Sharpness) \
    X(0x5016, DigitalZoom) \
    X(0x5017, EffectMode) \
    X(0x5018, BurstNumber) \
    X(0x5019, BurstInterval) \
    X(0x501A, TimelapseNumber) \
    X(0x501B, TimelapseInterval) \
    X(0x501C, FocusMeteringMode) \
    X(0x501D, UploadURL) \
    X(0x501E, Artist) \
    X(0x501F, CopyrightInfo) \
    X(0x5020, SupportedStreams) \
    X(0x5021, EnabledStreams) \
    X(0x5022, VideoFormat) \
    X(0x5023, VideoResolution) \
    X(0x5024, VideoQuality) \
    X(0x5025, VideoFrameRate) \
    X(0x5026, VideoContrast) \
    X(0x5027, VideoBrightness) \
    X(0x5028, AudioFormat) \
    X(0x5029, AudioBitrate) \
    X(0x502A, AudioSamplingRate) \
    X(0x502B, AudioBitPerSample) \
    X(0x502C, AudioVolume) \
    X(0xD401, MTPSynchronizationPartner) \
    X(0xD402, MTPDeviceFriendlyName) \
    X(0xD403, MTPVolumeLevel) \
    X(0xD405, MTPDeviceIcon) \
    X(0xD406, MTPSessionInitiatorInfo) \
    X(0xD407, MTPPerceivedDeviceType) \
    X(0xD410, MTPPlaybackRate) \
    X(0xD411, MTPPlaybackObject) \
    X(0xD412, MTPPlaybackContainerIndex) \
    X(0xD413, MTPPlaybackPosition)

// X(code, constant name, name in log lines): the log names keep their signed "S".
#define ZETA_PTP_DATA_TYPE_CODES(X) \
    X(0x0000, Undefined, Undefined) \
    X(0x0001, Int8, SInt8) \
    X(0x0002, UInt8, UInt8) \
    X(0x0003, Int16, SInt16) \
    X(0x0004, UInt16, UInt16) \
    X(0x0005, Int32, SInt32) \
    X(0x0006, UInt32, UInt32) \
    X(0x0007, Int64, SInt64) \
    X(0x0008, UInt64, UInt64) \
    X(0x0009, Int128, SInt128) \
    X(0x000A, UInt128, UInt128) \
    X(0x4001, ArrayOfInt8, ArrayOfSInt8) \
    X(0x4002, ArrayOfUInt8, ArrayOfUInt8) \
    X(0x4003, ArrayOfInt16, ArrayOfSInt16) \
    X(0x4004, ArrayOfUInt16, ArrayOfUInt16) \
    X(0x4005, ArrayOfInt32, ArrayOfSInt32) \
    X(0x4006, ArrayOfUInt32, ArrayOfUInt32) \
    X(0x4007, ArrayOfInt64, ArrayOfSInt64) \
    X(0x4008, ArrayOfUInt64, ArrayOfUInt64) \
    X(0x4009, ArrayOfInt128, ArrayOfSInt128) \
    X(0x400A, ArrayOfUInt128, ArrayOfUInt128) \
    X(0xFFFF, String, UnicodeString)

#define ZETA_PTP_VENDOR_EXTENSION_CODES(X) \
    X(1, EastmanKodak) \
    X(6, Microsoft) \
    X(10, Nikon) \
    X(11, Canon) \
    X(13, Pentax) \
    X(14, Fuji) \
    X(17, Sony) \
    X(26, Samsung)

// Canon EOS: the vendor operations, responses, events (GetEvent record types) and properties.
#define ZETA_PTP_CANON_OPERATION_CODES(X) \
    X(0x9101, CanonGetStorageIDs) \
    X(0x9102, CanonGetStorageInfo) \
    X(0x9103, CanonGetObjectInfo) \
    X(0x9104, CanonGetObject) \
    X(0x9105, CanonDeleteObject) \
    X(0x9106, CanonFormatStore) \
    X(0x9107, CanonGetPartialObject) \
    X(0x9108, CanonGetDeviceInfoEx) \
    X(0x9109, CanonGetObjectInfoEx) \
    X(0x910A, CanonGetThumbEx) \
    X(0x910B, CanonSendPartialObject) \
    X(0x910C, CanonSetObjectAttributes) \
    X(0x910D, CanonGetObjectTime) \
    X(0x910E, CanonSetObjectTime) \
    X(0x910F, CanonRemoteRelease) \
    X(0x9110, CanonSetDevicePropValueEx) \
    X(0x9113, CanonGetRemoteMode) \
    X(0x9114, CanonSetRemoteMode) \
    X(0x9115, CanonSetEventMode) \
    X(0x9116, CanonGetEvent) \
    X(0x9117, CanonTransferComplete) \
    X(0x9118, CanonCancelTransfer) \
    X(0x9119, CanonResetTransfer) \
    X(0x911A, CanonPCHDDCapacity) \
    X(0x911B, CanonSetUILock) \
    X(0x911C, CanonResetUILock) \
    X(0x911D, CanonKeepDeviceOn) \
    X(0x911E, CanonSetNullPacketMode) \
    X(0x911F, CanonUpdateFirmware) \
    X(0x9120, CanonTransferCompleteDT) \
    X(0x9121, CanonCancelTransferDT) \
    X(0x9122, CanonSetWftProfile) \
    X(0x9123, CanonGetWftProfile) \
    X(0x9124, CanonSetProfileToWft) \
    X(0x9125, CanonBulbStart) \
    X(0x9126, CanonBulbEnd) \
    X(0x9127, CanonRequestDevicePropValue) \
    X(0x9128, CanonRemoteReleaseOn) \
    X(0x9129, CanonRemoteReleaseOff) \
    X(0x912A, CanonRegistBackgroundImage) \
    X(0x912B, CanonChangePhotoStudioMode) \
    X(0x912C, CanonGetPartialObjectEx) \
    X(0x9130, CanonResetMirrorLockupState) \
    X(0x9131, CanonPopupBuiltinFlash) \
    X(0x9132, CanonEndGetPartialObjectEx) \
    X(0x9133, CanonMovieSelectSWOn) \
    X(0x9134, CanonMovieSelectSWOff) \
    X(0x9135, CanonGetCTGInfo) \
    X(0x9136, CanonGetLensAdjust) \
    X(0x9137, CanonSetLensAdjust) \
    X(0x9138, CanonGetMusicInfo) \
    X(0x9139, CanonCreateHandle) \
    X(0x913A, CanonSendPartialObjectEx) \
    X(0x913B, CanonEndSendPartialObjectEx) \
    X(0x913C, CanonSetCTGInfo) \
    X(0x913D, CanonSetRequestOLCInfoGroup) \
    X(0x913E, CanonSetRequestRollingPitchingLevel) \
    X(0x913F, CanonGetCameraSupport) \
    X(0x9140, CanonSetRating) \
    X(0x9141, CanonRequestInnerDevelopStart) \
    X(0x9142, CanonRequestInnerDevelopParamChange) \
    X(0x9143, CanonRequestInnerDevelopEnd) \
    X(0x9144, CanonGpsLoggingDataMode) \
    X(0x9145, CanonGetGpsLogCurrentHandle) \
    X(0x9151, CanonInitiateViewfinder) \
    X(0x9152, CanonTerminateViewfinder) \
    X(0x9153, CanonGetViewFinderData) \
    X(0x9154, CanonDoAf) \
    X(0x9155, CanonDriveLens) \
    X(0x9156, CanonDepthOfFieldPreview) \
    X(0x9157, CanonClickWB) \
    X(0x9158, CanonZoom) \
    X(0x9159, CanonZoomPosition) \
    X(0x915A, CanonSetLiveAfFrame) \
    X(0x915B, CanonTouchAfPosition) \
    X(0x915C, CanonSetLvPcFlavoreditMode) \
    X(0x915D, CanonSetLvPcFlavoreditParam) \
    X(0x9160, CanonAfCancel) \
    X(0x91BE, CanonSetDefaultCameraSetting) \
    X(0x91BF, CanonGetAEData) \
    X(0x91E8, CanonNotifyNetworkError) \
    X(0x91E9, CanonAdapterTransferProgress) \
    X(0x91F0, CanonTransferComplete2) \
    X(0x91F1, CanonCancelTransfer2) \
    X(0x91FE, CanonFAPIMessageTX) \
    X(0x91FF, CanonFAPIMessageRX)

#define ZETA_PTP_CANON_RESPONSE_CODES(X) \
    X(0xA001, CanonUnknownCommand) \
    X(0xA005, CanonOperationRefused) \
    X(0xA006, CanonLensCover) \
    X(0xA101, CanonBatteryLow) \
    X(0xA102, CanonNotReady)

#define ZETA_PTP_CANON_EVENT_CODES(X) \
    X(0xC101, CanonRequestGetEvent) \
    X(0xC181, CanonObjectAddedEx) \
    X(0xC182, CanonObjectRemoved) \
    X(0xC183, CanonRequestGetObjectInfoEx) \
    X(0xC184, CanonStorageStatusChanged) \
    X(0xC185, CanonStorageInfoChanged) \
    X(0xC186, CanonRequestObjectTransfer) \
    X(0xC187, CanonObjectInfoChangedEx) \
    X(0xC188, CanonObjectContentChanged) \
    X(0xC189, CanonPropValueChanged) \
    X(0xC18A, CanonAvailListChanged) \
    X(0xC18B, CanonCameraStatusChanged) \
    X(0xC18D, CanonWillSoonShutdown) \
    X(0xC18E, CanonShutdownTimerUpdated) \
    X(0xC18F, CanonRequestCancelTransfer) \
    X(0xC190, CanonRequestObjectTransferDT) \
    X(0xC191, CanonRequestCancelTransferDT) \
    X(0xC192, CanonStoreAdded) \
    X(0xC193, CanonStoreRemoved) \
    X(0xC194, CanonBulbExposureTime) \
    X(0xC195, CanonRecordingTime) \
    X(0xC1A2, CanonRequestObjectTransferTS) \
    X(0xC1A3, CanonAfResult) \
    X(0xC1A4, CanonCTGInfoCheckComplete) \
    X(0xC1A5, CanonOLCInfoChanged) \
    X(0xC1F1, CanonRequestObjectTransferFTP)

#define ZETA_PTP_CANON_PROPERTY_CODES(X) \
    X(0x8101, CanonExExposureLevelIncrements) \
    X(0x8103, CanonExISOExpansion) \
    X(0x810F, CanonExFlasgSyncSpeedInAvMode) \
    X(0x8201, CanonExLongExposureNoiseReduction) \
    X(0x8202, CanonExHighISONoiseReduction) \
    X(0x8203, CanonExHHighlightTonePriority) \
    X(0x8204, CanonExAutoLightingOptimizer) \
    X(0x850E, CanonExAFAssistBeamFiring) \
    X(0x8511, CanonExAFDuringLiveView) \
    X(0x860F, CanonExMirrorLockup) \
    X(0x8701, CanonExShutterAELockButton) \
    X(0x8704, CanonExSetButtonWhenShooting) \
    X(0x880F, CanonExAddOriginalDecisionData) \
    X(0x8811, CanonExLCDDisplayWhenPowerOn) \
    X(0xD101, CanonAperture) \
    X(0xD102, CanonShutterSpeed) \
    X(0xD103, CanonISOSpeed) \
    X(0xD104, CanonExpCompensation) \
    X(0xD105, CanonAutoExposureMode) \
    X(0xD106, CanonDriveMode) \
    X(0xD107, CanonMeteringMode) \
    X(0xD108, CanonFocusMode) \
    X(0xD109, CanonWhiteBalance) \
    X(0xD10A, CanonColorTemperature) \
    X(0xD10B, CanonWhiteBalanceAdjustA) \
    X(0xD10C, CanonWhiteBalanceAdjustB) \
    X(0xD10D, CanonWhiteBalanceXA) \
    X(0xD10E, CanonWhiteBalanceXB) \
    X(0xD10F, CanonColorSpace) \
    X(0xD110, CanonPictureStyle) \
    X(0xD111, CanonBatteryPower) \
    X(0xD112, CanonBatterySelect) \
    X(0xD113, CanonCameraTime) \
    X(0xD114, CanonAutoPowerOff) \
    X(0xD115, CanonOwner) \
    X(0xD116, CanonModelID) \
    X(0xD119, CanonPTPExtensionVersion) \
    X(0xD11A, CanonDPOFVersion) \
    X(0xD11B, CanonAvailableShots) \
    X(0xD11C, CanonCaptureDestination) \
    X(0xD11D, CanonBracketMode) \
    X(0xD11E, CanonCurrentStorage) \
    X(0xD11F, CanonCurrentFolder) \
    X(0xD120, CanonImageFormat) \
    X(0xD121, CanonImageFormatCF) \
    X(0xD122, CanonImageFormatSD) \
    X(0xD123, CanonImageFormatExtHD) \
    X(0xD130, CanonCompressionS) \
    X(0xD131, CanonCompressionM1) \
    X(0xD132, CanonCompressionM2) \
    X(0xD133, CanonCompressionL) \
    X(0xD138, CanonAEModeDial) \
    X(0xD139, CanonAEModeCustom) \
    X(0xD13A, CanonMirrorUpSetting) \
    X(0xD13B, CanonHighlightTonePriority) \
    X(0xD13C, CanonAFSelectFocusArea) \
    X(0xD13D, CanonHDRSetting) \
    X(0xD140, CanonPCWhiteBalance1) \
    X(0xD141, CanonPCWhiteBalance2) \
    X(0xD142, CanonPCWhiteBalance3) \
    X(0xD143, CanonPCWhiteBalance4) \
    X(0xD144, CanonPCWhiteBalance5) \
    X(0xD145, CanonMWhiteBalance) \
    X(0xD146, CanonMWhiteBalanceEx) \
    X(0xD14D, CanonUnknownPropD14D) \
    X(0xD150, CanonPictureStyleStandard) \
    X(0xD151, CanonPictureStylePortrait) \
    X(0xD152, CanonPictureStyleLandscape) \
    X(0xD153, CanonPictureStyleNeutral) \
    X(0xD154, CanonPictureStyleFaithful) \
    X(0xD155, CanonPictureStyleBlackWhite) \
    X(0xD156, CanonPictureStyleAuto) \
    X(0xD160, CanonPictureStyleUserSet1) \
    X(0xD161, CanonPictureStyleUserSet2) \
    X(0xD162, CanonPictureStyleUserSet3) \
    X(0xD170, CanonPictureStyleParam1) \
    X(0xD171, CanonPictureStyleParam2) \
    X(0xD172, CanonPictureStyleParam3) \
    X(0xD178, CanonHighISOSettingNoiseReduction) \
    X(0xD179, CanonMovieServoAF) \
    X(0xD17A, CanonContinuousAFValid) \
    X(0xD17B, CanonAttenuator) \
    X(0xD17C, CanonUTCTime) \
    X(0xD17D, CanonTimezone) \
    X(0xD17E, CanonSummertime) \
    X(0xD17F, CanonFlavorLUTParams) \
    X(0xD180, CanonCustomFunc1) \
    X(0xD181, CanonCustomFunc2) \
    X(0xD182, CanonCustomFunc3) \
    X(0xD183, CanonCustomFunc4) \
    X(0xD184, CanonCustomFunc5) \
    X(0xD185, CanonCustomFunc6) \
    X(0xD186, CanonCustomFunc7) \
    X(0xD187, CanonCustomFunc8) \
    X(0xD188, CanonCustomFunc9) \
    X(0xD189, CanonCustomFunc10) \
    X(0xD18A, CanonCustomFunc11) \
    X(0xD18B, CanonCustomFunc12) \
    X(0xD18C, CanonCustomFunc13) \
    X(0xD18D, CanonCustomFunc14) \
    X(0xD18E, CanonCustomFunc15) \
    X(0xD18F, CanonCustomFunc16) \
    X(0xD190, CanonCustomFunc17) \
    X(0xD191, CanonCustomFunc18) \
    X(0xD192, CanonCustomFunc19) \
    X(0xD193, CanonInnerDevelop) \
    X(0xD194, CanonMultiAspect) \
    X(0xD195, CanonMovieSoundRecord) \
    X(0xD196, CanonMovieRecordVolume) \
    X(0xD197, CanonWindCut) \
    X(0xD198, CanonExtenderType) \
    X(0xD199, CanonOLCInfoVersion) \
    X(0xD19A, CanonUnknownPropD19A) \
    X(0xD19C, CanonUnknownPropD19C) \
    X(0xD19D, CanonUnknownPropD19D) \
    X(0xD1A0, CanonCustomFuncEx) \
    X(0xD1A1, CanonMyMenu) \
    X(0xD1A2, CanonMyMenuList) \
    X(0xD1A3, CanonWftStatus) \
    X(0xD1A4, CanonWftInputTransmission) \
    X(0xD1A5, CanonHDDirectoryStructure) \
    X(0xD1A6, CanonBatteryInfo) \
    X(0xD1A7, CanonAdapterInfo) \
    X(0xD1A8, CanonLensStatus) \
    X(0xD1A9, CanonQuickReviewTime) \
    X(0xD1AA, CanonCardExtension) \
    X(0xD1AB, CanonTempStatus) \
    X(0xD1AC, CanonShutterCounter) \
    X(0xD1AD, CanonSpecialOption) \
    X(0xD1AE, CanonPhotoStudioMode) \
    X(0xD1AF, CanonSerialNumber) \
    X(0xD1B0, CanonEVFOutputDevice) \
    X(0xD1B1, CanonEVFMode) \
    X(0xD1B2, CanonDepthOfFieldPreview) \
    X(0xD1B3, CanonEVFSharpness) \
    X(0xD1B4, CanonEVFWBMode) \
    X(0xD1B5, CanonEVFClickWBCoeffs) \
    X(0xD1B6, CanonEVFColorTemp) \
    X(0xD1B7, CanonExposureSimMode) \
    X(0xD1B8, CanonEVFRecordStatus) \
    X(0xD1BA, CanonLvAfSystem) \
    X(0xD1BB, CanonMovSize) \
    X(0xD1BC, CanonLvViewTypeSelect) \
    X(0xD1BD, CanonMirrorDownStatus) \
    X(0xD1BE, CanonMovieParam) \
    X(0xD1BF, CanonMirrorLockupState) \
    X(0xD1C0, CanonFlashChargingState) \
    X(0xD1C1, CanonAloMode) \
    X(0xD1C2, CanonFixedMovie) \
    X(0xD1C3, CanonOneShotRawOn) \
    X(0xD1C4, CanonErrorForDisplay) \
    X(0xD1C5, CanonAEModeMovie) \
    X(0xD1C6, CanonBuiltinStroboMode) \
    X(0xD1C7, CanonStroboDispState) \
    X(0xD1C8, CanonStroboETTL2Metering) \
    X(0xD1C9, CanonContinousAFMode) \
    X(0xD1CA, CanonMovieParam2) \
    X(0xD1CB, CanonStroboSettingExpComposition) \
    X(0xD1CC, CanonMovieParam3) \
    X(0xD1CF, CanonLVMedicalRotate) \
    X(0xD1D0, CanonArtist) \
    X(0xD1D1, CanonCopyright) \
    X(0xD1D2, CanonBracketValue) \
    X(0xD1D3, CanonFocusInfoEx) \
    X(0xD1D4, CanonDepthOfField) \
    X(0xD1D5, CanonBrightness) \
    X(0xD1D6, CanonLensAdjustParams) \
    X(0xD1D7, CanonEFComp) \
    X(0xD1D8, CanonLensName) \
    X(0xD1D9, CanonAEB) \
    X(0xD1DA, CanonStroboSetting) \
    X(0xD1DB, CanonStroboWirelessSetting) \
    X(0xD1DC, CanonStroboFiring) \
    X(0xD1DD, CanonLensID) \
    X(0xD1DE, CanonLCDBrightness) \
    X(0xD1DF, CanonCADarkBright)

// Sony: the connection handshake, the all-properties read and the two control writes.
#define ZETA_PTP_SONY_OPERATION_CODES(X) \
    X(0x9201, SonySDIOConnect) \
    X(0x9202, SonyGetSDIOGetExtDeviceInfo) \
    X(0x9203, SonyGetDevicePropDesc) \
    X(0x9204, SonyGetDevicePropertyValue) \
    X(0x9205, SonySetControlDeviceA) \
    X(0x9206, SonyGetControlDeviceDesc) \
    X(0x9207, SonySetControlDeviceB) \
    X(0x9209, SonyGetAllDevicePropData)
#define ZETA_PTP_SONY_EVENT_CODES(X) \
    X(0xC201, SonyObjectAdded) \
    X(0xC202, SonyObjectRemoved) \
    X(0xC203, SonyPropertyChanged)
#define ZETA_PTP_SONY_PROPERTY_CODES(X) \
    X(0xD200, SonyDPCCompensation) \
    X(0xD201, SonyDRangeOptimize) \
    X(0xD203, SonyImageSize) \
    X(0xD20D, SonyShutterSpeed) \
    X(0xD20F, SonyColorTemp) \
    X(0xD210, SonyCCFilter) \
    X(0xD211, SonyAspectRatio) \
    X(0xD213, SonyFocusStatus) \
    X(0xD215, SonyObjectInMemory) \
    X(0xD216, SonyExposeIndex) \
    X(0xD21B, SonyPictureEffect) \
    X(0xD21C, SonyABFilter) \
    X(0xD21E, SonyISO) \
    X(0xD2C1, SonyAutofocus) \
    X(0xD2C2, SonyCapture) \
    X(0xD2C7, SonyStillImage) \
    X(0xD2C8, SonyMovie)

// Nikon's vendor operations, responses and events.
#define ZETA_PTP_NIKON_OPERATION_CODES(X) \
    X(0x9006, NikonGetProfileAllData) \
    X(0x9007, NikonSendProfileData) \
    X(0x9008, NikonDeleteProfile) \
    X(0x9009, NikonSetProfileData) \
    X(0x9010, NikonAdvancedTransfer) \
    X(0x9011, NikonGetFileInfoInBlock) \
    X(0x90C0, NikonCapture) \
    X(0x90C1, NikonAfDrive) \
    X(0x90C2, NikonSetControlMode) \
    X(0x90C3, NikonDelImageSDRAM) \
    X(0x90C4, NikonGetLargeThumb) \
    X(0x90C5, NikonCurveDownload) \
    X(0x90C6, NikonCurveUpload) \
    X(0x90C7, NikonCheckEvent) \
    X(0x90C8, NikonDeviceReady) \
    X(0x90C9, NikonSetPreWBData) \
    X(0x90CA, NikonGetVendorPropCodes) \
    X(0x90CB, NikonAfCaptureSDRAM) \
    X(0x90CC, NikonGetPictCtrlData) \
    X(0x90CD, NikonSetPictCtrlData) \
    X(0x90CE, NikonDelCstPicCtrl) \
    X(0x90CF, NikonGetPicCtrlCapability) \
    X(0x90E0, NikonGetDevicePTPIPInfo) \
    X(0x9200, NikonGetPreviewImg) \
    X(0x9201, NikonStartLiveView) \
    X(0x9202, NikonEndLiveView) \
    X(0x9203, NikonGetLiveViewImg) \
    X(0x9204, NikonMfDrive) \
    X(0x9205, NikonChangeAfArea) \
    X(0x9206, NikonAfDriveCancel) \
    X(0x9207, NikonInitiateCaptureRecInMedia) \
    X(0x9209, NikonGetVendorStorageIDs) \
    X(0x920A, NikonStartMovieRecInCard) \
    X(0x920B, NikonEndMovieRec) \
    X(0x920C, NikonTerminateCapture) \
    X(0x9400, NikonGetPartialObjectHiSpeed)

#define ZETA_PTP_NIKON_RESPONSE_CODES(X) \
    X(0xA001, NikonHardwareError) \
    X(0xA002, NikonOutOfFocus) \
    X(0xA003, NikonChangeCameraModeFailed) \
    X(0xA004, NikonInvalidStatus) \
    X(0xA005, NikonSetPropertyNotSupported) \
    X(0xA006, NikonWbResetError) \
    X(0xA007, NikonDustReferenceError) \
    X(0xA008, NikonShutterSpeedBulb) \
    X(0xA009, NikonMirrorUpSequence) \
    X(0xA00A, NikonCameraModeNotAdjustFNumber) \
    X(0xA00B, NikonNotLiveView) \
    X(0xA00C, NikonMfDriveStepEnd) \
    X(0xA00E, NikonMfDriveStepInsufficiency) \
    X(0xA022, NikonAdvancedTransferCancel)

#define ZETA_PTP_NIKON_EVENT_CODES(X) \
    X(0xC101, NikonObjectAddedInSDRAM) \
    X(0xC102, NikonCaptureCompleteRecInSdram) \
    X(0xC103, NikonAdvancedTransfer) \
    X(0xC104, NikonPreviewImageAdded)
// clang-format on

#define ZETA_PTP_CODE_CONSTANT(prefix, code, name) prefix##name = code,
#define ZETA_PTP_REQUEST_CONSTANT(code, name) ZETA_PTP_CODE_CONSTANT(PTPRequestCode, code, name)
#define ZETA_PTP_RESPONSE_CONSTANT(code, name) ZETA_PTP_CODE_CONSTANT(PTPResponseCode, code, name)
#define ZETA_PTP_EVENT_CONSTANT(code, name) ZETA_PTP_CODE_CONSTANT(PTPEventCode, code, name)
#define ZETA_PTP_PROPERTY_CONSTANT(code, name) ZETA_PTP_CODE_CONSTANT(PTPPropertyCode, code, name)
#define ZETA_PTP_DATA_TYPE_CONSTANT(code, name, logName) ZETA_PTP_CODE_CONSTANT(PTPDataType, code, name)
#define ZETA_PTP_VENDOR_EXTENSION_CONSTANT(code, name) ZETA_PTP_CODE_CONSTANT(PTPVendorExtension, code, name)

enum PTPRequestCode : uint16_t { ZETA_PTP_OPERATION_CODES(ZETA_PTP_REQUEST_CONSTANT) };
enum PTPNikonRequestCode : uint16_t { ZETA_PTP_NIKON_OPERATION_CODES(ZETA_PTP_REQUEST_CONSTANT) };
enum PTPSonyRequestCode : uint16_t { ZETA_PTP_SONY_OPERATION_CODES(ZETA_PTP_REQUEST_CONSTANT) };
enum PTPSonyEventCode : uint16_t { ZETA_PTP_SONY_EVENT_CODES(ZETA_PTP_EVENT_CONSTANT) };
enum PTPSonyPropertyCode : uint16_t { ZETA_PTP_SONY_PROPERTY_CODES(ZETA_PTP_PROPERTY_CONSTANT) };

enum PTPCanonRequestCode : uint16_t { ZETA_PTP_CANON_OPERATION_CODES(ZETA_PTP_REQUEST_CONSTANT) };
enum PTPCanonResponseCode : uint16_t { ZETA_PTP_CANON_RESPONSE_CODES(ZETA_PTP_RESPONSE_CONSTANT) };
enum PTPCanonEventCode : uint16_t { ZETA_PTP_CANON_EVENT_CODES(ZETA_PTP_EVENT_CONSTANT) };
enum PTPCanonPropertyCode : uint16_t { ZETA_PTP_CANON_PROPERTY_CODES(ZETA_PTP_PROPERTY_CONSTANT) };

enum PTPNikonResponseCode : uint16_t { ZETA_PTP_NIKON_RESPONSE_CODES(ZETA_PTP_RESPONSE_CONSTANT) };
enum PTPNikonEventCode : uint16_t { ZETA_PTP_NIKON_EVENT_CODES(ZETA_PTP_EVENT_CONSTANT) };
enum PTPResponseCode : uint16_t { ZETA_PTP_RESPONSE_CODES(ZETA_PTP_RESPONSE_CONSTANT) };
enum PTPEventCode : uint16_t { ZETA_PTP_EVENT_CODES(ZETA_PTP_EVENT_CONSTANT) };
enum PTPPropertyCode : uint16_t { ZETA_PTP_PROPERTY_CODES(ZETA_PTP_PROPERTY_CONSTANT) };
enum PTPDataType : uint16_t { ZETA_PTP_DATA_TYPE_CODES(ZETA_PTP_DATA_TYPE_CONSTANT) };
enum PTPVendorExtension : uint16_t { ZETA_PTP_VENDOR_EXTENSION_CODES(ZETA_PTP_VENDOR_EXTENSION_CONSTANT) };

// Container types of the USB transport.
enum PTPContainerType : uint16_t {
    PTPContainerTypeCommand = 1,
    PTPContainerTypeData = 2,
    PTPContainerTypeResponse = 3,
    PTPContainerTypeEvent = 4,
};

// Object formats the framework and the simulated cameras tell apart.
enum PTPObjectFormat : uint16_t {
    PTPObjectFormatAssociation = 0x3001,
    PTPObjectFormatJPEG = 0x3801,
    PTPObjectFormatSonyRAW = 0xB101,
};

// ExposureTime (0x500D) values that are no duration: the shutter held open (bulb) or opened
// and closed by two presses (time); read as a signed 32-bit integer they are -1 and -3.
constexpr uint32_t PTPExposureTimeBulb = 0xFFFFFFFF;
constexpr uint32_t PTPExposureTimeTime = 0xFFFFFFFD;
