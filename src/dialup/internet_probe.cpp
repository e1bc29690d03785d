#include "dialup/internet_probe.h"

namespace mailferry {

bool IsInternetConnected(DialUpPlatform& platform) { return platform.IsOnline(); }

bool IsInternetConnected() { return IsInternetConnected(SystemDialUpPlatform()); }

}  // namespace mailferry
