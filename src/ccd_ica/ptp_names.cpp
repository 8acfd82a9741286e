#include "ccd_ica/ptp_names.h"

#include <cstdio>

std::string_view PTPNameTable::find(uint16_t code) const {
    for (const PTPNameTable* table = this; table; table = table->base_) {
        for (const PTPCodeName& entry : table->entries_) {
            if (entry.code == code) return entry.name;
        }
    }
    return {};
}

std::string PTPNameTable::name(uint16_t code) const {
    if (const std::string_view found = find(code); !found.empty()) return std::string(found);
    const PTPNameTable* last = this;
    while (last->base_)
        last = last->base_;
    char digits[8];
    std::snprintf(digits, sizeof digits, "0x%04x", code);
    return std::string(last->fallbackPrefix_) + digits;
}

namespace {

constexpr PTPCodeName operationNames[] = {
    {0x1000, "PTPRequestCodeUndefined"},
    {0x1001, "PTPRequestCodeGetDeviceInfo"},
    {0x1002, "PTPRequestCodeOpenSession"},
    {0x1003, "PTPRequestCodeCloseSession"},
    {0x1004, "PTPRequestCodeGetStorageIDs"},
    {0x1005, "PTPRequestCodeGetStorageInfo"},
    {0x1006, "PTPRequestCodeGetNumObjects"},
    {0x1007, "PTPRequestCodeGetObjectHandles"},
    {0x1008, "PTPRequestCodeGetObjectInfo"},
    {0x1009, "PTPRequestCodeGetObject"},
    {0x100A, "PTPRequestCodeGetThumb"},
    {0x100B, "PTPRequestCodeDeleteObject"},
    {0x100C, "PTPRequestCodeSendObjectInfo"},
    {0x100D, "PTPRequestCodeSendObject"},
    {0x100E, "PTPRequestCodeInitiateCapture"},
    {0x100F, "PTPRequestCodeFormatStore"},
    {0x1010, "PTPRequestCodeResetDevice"},
    {0x1011, "PTPRequestCodeSelfTest"},
    {0x1012, "PTPRequestCodeSetObjectProtection"},
    {0x1013, "PTPRequestCodePowerDown"},
    {0x1014, "PTPRequestCodeGetDevicePropDesc"},
    {0x1015, "PTPRequestCodeGetDevicePropValue"},
    {0x1016, "PTPRequestCodeSetDevicePropValue"},
    {0x1017, "PTPRequestCodeResetDevicePropValue"},
    {0x1018, "PTPRequestCodeTerminateOpenCapture"},
    {0x1019, "PTPRequestCodeMoveObject"},
    {0x101A, "PTPRequestCodeCopyObject"},
    {0x101B, "PTPRequestCodeGetPartialObject"},
    {0x101C, "PTPRequestCodeInitiateOpenCapture"},
    {0x9001, "PTPRequestCodeGetNumDownloadableObjects"},
    {0x9002, "PTPRequestCodeGetAllObjectInfo"},
    {0x9003, "PTPRequestCodeGetUserAssignedDeviceName"},
    {0x9801, "PTPRequestCodeMTPGetObjectPropsSupported"},
    {0x9802, "PTPRequestCodeMTPGetObjectPropDesc"},
    {0x9803, "PTPRequestCodeMTPGetObjectPropValue"},
    {0x9804, "PTPRequestCodeMTPSetObjectPropValue"},
    {0x9805, "PTPRequestCodeMTPGetObjPropList"},
    {0x9806, "PTPRequestCodeMTPSetObjPropList"},
    {0x9807, "PTPRequestCodeMTPGetInterdependendPropdesc"},
    {0x9808, "PTPRequestCodeMTPSendObjectPropList"},
    {0x9810, "PTPRequestCodeMTPGetObjectReferences"},
    {0x9811, "PTPRequestCodeMTPSetObjectReferences"},
    {0x9812, "PTPRequestCodeMTPUpdateDeviceFirmware"},
    {0x9820, "PTPRequestCodeMTPSkip"},
};

constexpr PTPCodeName responseNames[] = {
    {0x2000, "PTPResponseCodeUndefined"},
    {0x2001, "PTPResponseCodeOK"},
    {0x2002, "PTPResponseCodeGeneralError"},
    {0x2003, "PTPResponseCodeSessionNotOpen"},
    {0x2004, "PTPResponseCodeInvalidTransactionID"},
    {0x2005, "PTPResponseCodeOperationNotSupported"},
    {0x2006, "PTPResponseCodeParameterNotSupported"},
    {0x2007, "PTPResponseCodeIncompleteTransfer"},
    {0x2008, "PTPResponseCodeInvalidStorageID"},
    {0x2009, "PTPResponseCodeInvalidObjectHandle"},
    {0x200A, "PTPResponseCodeDevicePropNotSupported"},
    {0x200B, "PTPResponseCodeInvalidObjectFormatCode"},
    {0x200C, "PTPResponseCodeStoreFull"},
    {0x200D, "PTPResponseCodeObjectWriteProtected"},
    {0x200E, "PTPResponseCodeStoreReadOnly"},
    {0x200F, "PTPResponseCodeAccessDenied"},
    {0x2010, "PTPResponseCodeNoThumbnailPresent"},
    {0x2011, "PTPResponseCodeSelfTestFailed"},
    {0x2012, "PTPResponseCodePartialDeletion"},
    {0x2013, "PTPResponseCodeStoreNotAvailable"},
    {0x2014, "PTPResponseCodeSpecificationByFormatUnsupported"},
    {0x2015, "PTPResponseCodeNoValidObjectInfo"},
    {0x2016, "PTPResponseCodeInvalidCodeFormat"},
    {0x2017, "PTPResponseCodeUnknownVendorCode"},
    {0x2018, "PTPResponseCodeCaptureAlreadyTerminated"},
    {0x2019, "PTPResponseCodeDeviceBusy"},
    {0x201A, "PTPResponseCodeInvalidParentObject"},
    {0x201B, "PTPResponseCodeInvalidDevicePropFormat"},
    {0x201C, "PTPResponseCodeInvalidDevicePropValue"},
    {0x201D, "PTPResponseCodeInvalidParameter"},
    {0x201E, "PTPResponseCodeSessionAlreadyOpen"},
    {0x201F, "PTPResponseCodeTransactionCancelled"},
    {0x2020, "PTPResponseCodeSpecificationOfDestinationUnsupported"},
    {0xA800, "PTPResponseCodeMTPUndefined"},
    {0xA801, "PTPResponseCodeMTPInvalidObjectPropCode"},
    {0xA802, "PTPResponseCodeMTPInvalidObjectProp_Format"},
    {0xA803, "PTPResponseCodeMTPInvalidObjectProp_Value"},
    {0xA804, "PTPResponseCodeMTPInvalidObjectReference"},
    {0xA806, "PTPResponseCodeMTPInvalidDataset"},
    {0xA807, "PTPResponseCodeMTPSpecificationByGroupUnsupported"},
    {0xA808, "PTPResponseCodeMTPSpecificationByDepthUnsupported"},
    {0xA809, "PTPResponseCodeMTPObjectTooLarge"},
    {0xA80A, "PTPResponseCodeMTPObjectPropNotSupported"},
};

constexpr PTPCodeName eventNames[] = {
    {0x4000, "PTPEventCodeUndefined"},
    {0x4001, "PTPEventCodeCancelTransaction"},
    {0x4002, "PTPEventCodeObjectAdded"},
    {0x4003, "PTPEventCodeObjectRemoved"},
    {0x4004, "PTPEventCodeStoreAdded"},
    {0x4005, "PTPEventCodeStoreRemoved"},
    {0x4006, "PTPEventCodeDevicePropChanged"},
    {0x4007, "PTPEventCodeObjectInfoChanged"},
    {0x4008, "PTPEventCodeDeviceInfoChanged"},
    {0x4009, "PTPEventCodeRequestObjectTransfer"},
    {0x400A, "PTPEventCodeStoreFull"},
    {0x400B, "PTPEventCodeDeviceReset"},
    {0x400C, "PTPEventCodeStorageInfoChanged"},
    {0x400D, "PTPEventCodeCaptureComplete"},
    {0x400E, "PTPEventCodeUnreportedStatus"},
    {0xC001, "PTPEventCodeAppleDeviceUnlocked"},
    {0xC002, "PTPEventCodeAppleUserAssignedNameChanged"},
};

constexpr PTPCodeName propertyNames[] = {
    {0x5000, "PTPPropertyCodeUndefined"},
    {0x5001, "PTPPropertyCodeBatteryLevel"},
    {0x5002, "PTPPropertyCodeFunctionalMode"},
    {0x5003, "PTPPropertyCodeImageSize"},
    {0x5004, "PTPPropertyCodeCompressionSetting"},
    {0x5005, "PTPPropertyCodeWhiteBalance"},
    {0x5006, "PTPPropertyCodeRGBGain"},
    {0x5007, "PTPPropertyCodeFNumber"},
    {0x5008, "PTPPropertyCodeFocalLength"},
    {0x5009, "PTPPropertyCodeFocusDistance"},
    {0x500A, "PTPPropertyCodeFocusMode"},
    {0x500B, "PTPPropertyCodeExposureMeteringMode"},
    {0x500C, "PTPPropertyCodeFlashMode"},
    {0x500D, "PTPPropertyCodeExposureTime"},
    {0x500E, "PTPPropertyCodeExposureProgramMode"},
    {0x500F, "PTPPropertyCodeExposureIndex"},
    {0x5010, "PTPPropertyCodeExposureBiasCompensation"},
    {0x5011, "PTPPropertyCodeDateTime"},
    {0x5012, "PTPPropertyCodeCaptureDelay"},
    {0x5013, "PTPPropertyCodeStillCaptureMode"},
    {0x5014, "PTPPropertyCodeContrast"},
    {0x5015, "PTPPropertyCodeSharpness"},
    {0x5016, "PTPPropertyCodeDigitalZoom"},
    {0x5017, "PTPPropertyCodeEffectMode"},
    {0x5018, "PTPPropertyCodeBurstNumber"},
    {0x5019, "PTPPropertyCodeBurstInterval"},
    {0x501A, "PTPPropertyCodeTimelapseNumber"},
    {0x501B, "PTPPropertyCodeTimelapseInterval"},
    {0x501C, "PTPPropertyCodeFocusMeteringMode"},
    {0x501D, "PTPPropertyCodeUploadURL"},
    {0x501E, "PTPPropertyCodeArtist"},
    {0x501F, "PTPPropertyCodeCopyrightInfo"},
    {0x5020, "PTPPropertyCodeSupportedStreams"},
    {0x5021, "PTPPropertyCodeEnabledStreams"},
    {0x5022, "PTPPropertyCodeVideoFormat"},
    {0x5023, "PTPPropertyCodeVideoResolution"},
    {0x5024, "PTPPropertyCodeVideoQuality"},
    {0x5025, "PTPPropertyCodeVideoFrameRate"},
    {0x5026, "PTPPropertyCodeVideoContrast"},
    {0x5027, "PTPPropertyCodeVideoBrightness"},
    {0x5028, "PTPPropertyCodeAudioFormat"},
    {0x5029, "PTPPropertyCodeAudioBitrate"},
    {0x502A, "PTPPropertyCodeAudioSamplingRate"},
    {0x502B, "PTPPropertyCodeAudioBitPerSample"},
    {0x502C, "PTPPropertyCodeAudioVolume"},
    {0xD401, "PTPPropertyCodeMTPSynchronizationPartner"},
    {0xD402, "PTPPropertyCodeMTPDeviceFriendlyName"},
    {0xD403, "PTPPropertyCodeMTPVolumeLevel"},
    {0xD405, "PTPPropertyCodeMTPDeviceIcon"},
    {0xD406, "PTPPropertyCodeMTPSessionInitiatorInfo"},
    {0xD407, "PTPPropertyCodeMTPPerceivedDeviceType"},
    {0xD410, "PTPPropertyCodeMTPPlaybackRate"},
    {0xD411, "PTPPropertyCodeMTPPlaybackObject"},
    {0xD412, "PTPPropertyCodeMTPPlaybackContainerIndex"},
    {0xD413, "PTPPropertyCodeMTPPlaybackPosition"},
};

constexpr PTPCodeName dataTypeNames[] = {
    {0x0000, "PTPDataTypeCodeUndefined"},      {0x0001, "PTPDataTypeCodeSInt8"},
    {0x0002, "PTPDataTypeCodeUInt8"},          {0x0003, "PTPDataTypeCodeSInt16"},
    {0x0004, "PTPDataTypeCodeUInt16"},         {0x0005, "PTPDataTypeCodeSInt32"},
    {0x0006, "PTPDataTypeCodeUInt32"},         {0x0007, "PTPDataTypeCodeSInt64"},
    {0x0008, "PTPDataTypeCodeUInt64"},         {0x0009, "PTPDataTypeCodeSInt128"},
    {0x000A, "PTPDataTypeCodeUInt128"},        {0x4001, "PTPDataTypeCodeArrayOfSInt8"},
    {0x4002, "PTPDataTypeCodeArrayOfUInt8"},   {0x4003, "PTPDataTypeCodeArrayOfSInt16"},
    {0x4004, "PTPDataTypeCodeArrayOfUInt16"},  {0x4005, "PTPDataTypeCodeArrayOfSInt32"},
    {0x4006, "PTPDataTypeCodeArrayOfUInt32"},  {0x4007, "PTPDataTypeCodeArrayOfSInt64"},
    {0x4008, "PTPDataTypeCodeArrayOfUInt64"},  {0x4009, "PTPDataTypeCodeArrayOfSInt128"},
    {0x400A, "PTPDataTypeCodeArrayOfUInt128"}, {0xFFFF, "PTPDataTypeCodeUnicodeString"},
};

constexpr PTPCodeName vendorExtensionNames[] = {
    {1, "PTPVendorExtensionEastmanKodak"}, {6, "PTPVendorExtensionMicrosoft"}, {10, "PTPVendorExtensionNikon"},
    {11, "PTPVendorExtensionCanon"},       {13, "PTPVendorExtensionPentax"},   {14, "PTPVendorExtensionFuji"},
    {17, "PTPVendorExtensionSony"},        {26, "PTPVendorExtensionSamsung"},
};

} // namespace

const PTPNameTable ptpOperationNameTable(operationNames, nullptr, "PTPRequestCode");
const PTPNameTable ptpResponseNameTable(responseNames, nullptr, "PTPResponseCode");
const PTPNameTable ptpEventNameTable(eventNames, nullptr, "PTPEventCodeCode");
const PTPNameTable ptpPropertyNameTable(propertyNames, nullptr, "PTPPropertyCode");
const PTPNameTable ptpDataTypeNameTable(dataTypeNames, nullptr, "PTPDataTypeCode");
const PTPNameTable ptpVendorExtensionNameTable(vendorExtensionNames, nullptr, "PTPVendorExtension");
