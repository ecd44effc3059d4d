// Mouse arrival handling of the device-arrival service: the device
// notification registration, and the setup tool run at each arrival.
#pragma once

#include <functional>

#include "win/api.h"

// The program the service runs at each arrival, beside its own program file.
inline constexpr char16_t kTMSvcSetupToolFileName[] = u"TovMouseSetupCustomAction.exe";
// Its one argument: "-DriverUpdate" for the device ID the system serves.
inline constexpr char16_t kTMSvcDriverUpdateArgument[] = u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL";

// Registers `recipient`, the service's status handle, for arrivals of mouse
// interfaces. A failure is traced; the service then runs without arrivals.
void TMSvcNotificationDeviceRegister(win::SERVICE_STATUS_HANDLE recipient);

// How long a stop waits for a setup tool run still going (within the 30 s
// that a stop request of the service's own setup tool waits), and how often
// it tells the manager meanwhile that the stop goes on.
inline constexpr win::DWORD kTMSvcStopWaitMs = 20000;
inline constexpr win::DWORD kTMSvcStopReportMs = 1000;

// Runs the setup tool with the driver update argument and waits until it has
// ended, however long that takes, or until `stopEvent` is signalled: then at
// most kTMSvcStopWaitMs more, calling `stopGoesOn` after each
// kTMSvcStopReportMs of it. A run still going then goes on by itself.
// Failures are traced and change nothing else.
void TMSvcNotificationDeviceInterfaceArrival(win::HANDLE stopEvent, const std::function<void()>& stopGoesOn);
