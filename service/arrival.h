// Mouse arrival handling of the device-arrival service: the device
// notification registration, and the setup tool run at each arrival.
#pragma once

#include "win/api.h"

// The program the service runs at each arrival, beside its own program file.
inline constexpr char16_t kTMSvcSetupToolFileName[] = u"TovMouseSetupCustomAction.exe";
// Its one argument: "-DriverUpdate" for the device ID the system serves.
inline constexpr char16_t kTMSvcDriverUpdateArgument[] = u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL";

// Registers `recipient`, the service's status handle, for arrivals of mouse
// interfaces. A failure is traced; the service then runs without arrivals.
void TMSvcNotificationDeviceRegister(win::SERVICE_STATUS_HANDLE recipient);

// How long an arrival waits for the setup tool it started. The wait holds the
// control handler, and the service control manager gives up on a control
// after 30 s: a stop queued behind the arrival must still be answered.
inline constexpr win::DWORD kTMSvcSetupToolWaitMs = 20000;

// Runs the setup tool with the driver update argument and waits until it has
// ended, at most kTMSvcSetupToolWaitMs; a run that takes longer goes on by
// itself. Failures are traced and change nothing else.
void TMSvcNotificationDeviceInterfaceArrival();
