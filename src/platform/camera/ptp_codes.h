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
    X(0x2014, SpecificationByFormatUnsupported) \
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
    X(0x2020, SpecificationOfDestinationUnsupported) \
    X(0xA800, MTPUndefined) \
    X(0xA801, MTPInvalidObjectPropCode) \
    X(0xA802, MTPInvalidObjectProp_Format) \
    X(0xA803, MTPInvalidObjectProp_Value) \
    X(0xA804, MTPInvalidObjectReference) \
    X(0xA806, MTPInvalidDataset) \
    X(0xA807, MTPSpecificationByGroupUnsupported) \
    X(0xA808, MTPSpecificationByDepthUnsupported) \
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

// Nikon: the operation that answers the events the camera holds.
#define ZETA_PTP_NIKON_OPERATION_CODES(X) \
    X(0x90C7, NikonCheckEvent)
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
};
