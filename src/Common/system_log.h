#pragma once
// The system log lives in platform (platform/system_log.h), below every library; this name
// stays for code written before it moved.
#include "platform/system_log.h"
