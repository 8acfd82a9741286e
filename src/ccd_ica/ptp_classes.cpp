#include "ccd_ica/ptp_classes.h"

const PTPClasses& ptpGenericClasses() {
    static const PTPClassesOf<PTPRequest, PTPResponse, PTPEvent, PTPProperty, PTPDeviceInfo> classes;
    return classes;
}
