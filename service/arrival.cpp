#include "service/arrival.h"

#include <string>

#include "common/programdir.h"
#include "common/wstr.h"
#include "service/trace.h"
#include "win/handle.h"

void TMSvcNotificationDeviceRegister(win::SERVICE_STATUS_HANDLE recipient) {
  TMSvcTrace(TMSVC_TRACE_ENTRY, u">>> TMSvcNotificationDeviceRegister");
  win::DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = win::DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = win::GUID_DEVINTERFACE_MOUSE;
  // The registration lasts as long as the process; its handle is not kept.
  win::HDEVNOTIFY notification =
      win::RegisterDeviceNotificationW(recipient, &filter, win::DEVICE_NOTIFY_SERVICE_HANDLE);
  if (notification == nullptr) {
    TMSvcTrace(TMSVC_TRACE_ERROR,
               u"TMSvcNotificationDeviceRegister RegisterDeviceNotification GUID_DEVINTERFACE_MOUSE failed! %d",
               win::GetLastError());
  }
}

void TMSvcNotificationDeviceInterfaceArrival(win::HANDLE stopEvent, const std::function<void()>& stopGoesOn) {
  win::WCHAR parameters[win::MAX_PATH] = {};
  wstr::CopyToBuffer(parameters, win::MAX_PATH, kTMSvcDriverUpdateArgument);
  win::SHELLEXECUTEINFOW launch{};
  launch.cbSize = sizeof(launch);

  // The setup tool lies beside the service's own program file.
  ProgramDirectory directory = GetProgramDirectory();
  if (directory.failed != ProgramDirectory::Failed::Nothing) {
    const char16_t* call =
        directory.failed == ProgramDirectory::Failed::GetModuleFileName ? u"GetModuleFileName" : u"PathRemoveFileSpec";
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcNotificationDeviceInterfaceArrival %s failed! %d", call, directory.error);
    return;
  }
  std::u16string full = directory.path;
  if (full.empty() || full.back() != u'\\') full.push_back(u'\\');
  full.append(kTMSvcSetupToolFileName);
  win::WCHAR path[win::MAX_PATH] = {};
  if (!wstr::CopyToBuffer(path, win::MAX_PATH, full)) {
    // Nothing is started from a path that had to be cut.
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcNotificationDeviceInterfaceArrival FullPathName too long! %d",
               win::ERROR_FILENAME_EXCED_RANGE);
    return;
  }
  TMSvcTrace(TMSVC_TRACE_DEVICE_EVENT, u"TMSvcNotificationDeviceInterfaceArrival FullPathName: %s", path);

  // A failure is traced, never shown: a box in the service's session would
  // wait for an answer nobody can give.
  launch.fMask = win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_FLAG_NO_UI;
  launch.hwnd = nullptr;
  launch.lpVerb = nullptr;
  launch.lpFile = path;
  launch.lpParameters = parameters;
  launch.lpDirectory = nullptr;  // the setup tool writes its log into the service's current directory
  launch.nShow = win::SW_SHOW;
  if (!win::ShellExecuteExW(&launch)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcNotificationDeviceInterfaceArrival ShellExecuteEx failed! GetLastError: %d",
               win::GetLastError());
  }
  win::UniqueHandle process(launch.hProcess);  // null after a failed launch
  // A run may wait behind another device installation for minutes: it is
  // waited for until it ends, or until the stop, which waits for it a while
  // longer. One still going then is never ended from here (it may be
  // installing a driver); only its handle is closed. After a failed launch
  // the wait fails at once on the null handle; its line keeps the text that
  // readers of the output know.
  const win::HANDLE waited[] = {process.Get(), stopEvent};
  win::DWORD result = win::WaitForMultipleObjects(2, waited, win::FALSE, win::INFINITE);
  if (result == win::WAIT_OBJECT_0 + 1) {
    result = win::WAIT_TIMEOUT;
    for (win::DWORD ms = 0; result == win::WAIT_TIMEOUT && ms < kTMSvcStopWaitMs; ms += kTMSvcStopReportMs) {
      if (ms != 0) stopGoesOn();
      result = win::WaitForSingleObject(process.Get(), kTMSvcStopReportMs);
    }
  }
  if (result == win::WAIT_FAILED) {
    TMSvcTrace(TMSVC_TRACE_ERROR,
               u"TMSvcNotificationDeviceInterfaceArrival WaitForSingleObject failed! GetLastError: %d",
               win::GetLastError());
  } else if (result == win::WAIT_TIMEOUT) {
    TMSvcTrace(TMSVC_TRACE_ERROR,
               u"TMSvcNotificationDeviceInterfaceArrival the setup tool still runs after %u ms, it is left to finish "
               u"on its own",
               kTMSvcStopWaitMs);
  }
}
