// The device-arrival service: process entry, service main, control handler,
// status reports and the service's own trace.
#pragma once

// The process entry's work: hands the process to the service control manager.
int TMSvcMain();
