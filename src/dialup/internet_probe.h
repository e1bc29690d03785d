// IsInternetConnected, the probe that tells whether the machine is online at all.
#pragma once

#include "platform/dial_up_platform.h"

namespace mailferry {

// True when the platform reports a working Internet connection; any failure answers false.
bool IsInternetConnected(DialUpPlatform& platform);

// Over the process-wide platform.
bool IsInternetConnected();

}  // namespace mailferry
