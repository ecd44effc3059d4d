#include "setup/scmapi.h"

#include <algorithm>

#include "common/wstr.h"
#include "setup/trace.h"
#include "setup/utilities.h"

namespace {

// The binary path as the manager must see it: enclosed in double quotes, so
// that a path with blanks ("C:\Program Files\...") cannot be read as a
// shorter program path followed by arguments.
std::u16string QuotedPath(const std::u16string& path) {
  if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') return path;
  return u"\"" + path + u"\"";
}

}  // namespace

int TMSCAMainInternalServiceCreate(const std::u16string& name) {
  TMScmApi scm;
  std::u16string path;
  if (!Utilities::GetCurrentModulePath(path)) {
    TracePrint(TRACE_ERROR, u"Utilities::GetCurrentModulePath!\n");
    return 0;
  }
  path += u"\\";
  path += name;
  path += u".exe";
  TracePrint(TRACE_VERBOSE, u"Service name %s\n", name);
  TracePrint(TRACE_VERBOSE, u"Service filepath %s\n", path);
  if (!scm.ServiceCreate(name, path)) {
    TracePrint(TRACE_ERROR, u"ServiceCreate failed!\n");
    return 0;
  }
  scm.ServiceEnableAccess(name);
  if (!scm.ServiceStart()) {
    // A message box where nobody can see it (a non-impersonated custom
    // action, session 0) would wait for an answer forever and hang the
    // install: there the request goes to the log instead.
    if (Utilities::InteractiveRun) {
      win::MessageBoxW(nullptr, u"Unable to start service. Please reboot.", name.c_str(),
                       win::MB_OK | win::MB_ICONERROR);
    } else {
      TracePrint(TRACE_ERROR, u"Unable to start service. Please reboot.\n");
    }
  }
  return 0;
}

int TMSCAMainInternalServiceDelete(const std::u16string& name) {
  TMScmApi scm;
  if (!scm.ServiceEnableAccess(name)) {
    // The log's name for TMScmApi::ServiceEnableAccess.
    TracePrint(TRACE_ERROR, u"ScmApiServiceEnableAccess failed!\n");
    return 0;
  }
  if (!scm.ServiceStop(30)) TracePrint(TRACE_ERROR, u"ServiceDelete failed!\n");
  if (!scm.ServiceDelete()) TracePrint(TRACE_ERROR, u"ServiceDelete failed!\n");
  return 0;
}

bool TMScmApi::IsServiceName(std::u16string_view name) {
  return !name.empty() && name.size() <= 256 && name.find_first_of(u"\\/:*?\"<>|") == std::u16string_view::npos &&
         std::none_of(name.begin(), name.end(), wstr::IsControl);
}

TMScmApi::TMScmApi() : manager_(win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS)) {
  if (!manager_) TracePrint(TRACE_ERROR, u"OpenSCManager failed (%d)\n", win::GetLastError());
}

bool TMScmApi::ServiceEnableAccess(std::u16string name) {
  if (!manager_) {
    TracePrint(TRACE_ERROR, u"SCM handle invalid.\n");
    return false;
  }
  service_.Reset();
  win::WCHAR buffer[kServiceNameChars] = {};
  win::DWORD error = 0;
  if (!wstr::CopyToBuffer(buffer, kServiceNameChars, name)) {
    // A cut name would be another service's name.
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Service name too long (%d characters, at most %d)\n",
               static_cast<int>(name.size()), static_cast<int>(kServiceNameChars - 1));
  } else {
    service_.Reset(win::OpenServiceW(manager_.Get(), buffer, win::SERVICE_ALL_ACCESS));
    if (service_) return true;
    error = win::GetLastError();
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess OpenService failed! %d\n", error);
    switch (error) {
      case win::ERROR_ACCESS_DENIED:
        TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Error: Access denied.\n");
        break;
      case win::ERROR_INVALID_HANDLE:
        TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Invalid handle\n");
        break;
      case win::ERROR_INVALID_NAME:
        TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Invalid name\n");
        break;
      case win::ERROR_SERVICE_DOES_NOT_EXIST:
        TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Service does not exists\n");
        break;
      default:
        TracePrint(TRACE_ERROR, u"TMScmApi::ServiceEnableAccess Unknown error\n");
        break;
    }
  }
  manager_.Reset();
  return false;
}

bool TMScmApi::ServiceCreate(std::u16string name, std::u16string binaryPath) {
  if (!manager_) {
    TracePrint(TRACE_ERROR, u"Service handle invalid.\n");
    return false;
  }
  // A service that could not be opened again by name could not be deleted again.
  if (name.size() >= kServiceNameChars) {
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate Service name too long (%d characters, at most %d)\n",
               static_cast<int>(name.size()), static_cast<int>(kServiceNameChars - 1));
    return false;
  }
  // A double quote inside the path would end the quoted program path early:
  // the manager would run another program than the one meant.
  std::u16string quoted = QuotedPath(binaryPath);
  if (quoted.find(u'"', 1) != quoted.size() - 1) {
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate Binary path holds a double quote: %s\n", binaryPath);
    return false;
  }
  service_.Reset(win::CreateServiceW(manager_.Get(), name.c_str(), name.c_str(), win::SERVICE_ALL_ACCESS, kServiceType,
                                     win::SERVICE_AUTO_START, win::SERVICE_ERROR_IGNORE, quoted.c_str(), nullptr,
                                     nullptr, nullptr, nullptr, nullptr));
  if (service_) return true;
  win::DWORD error = win::GetLastError();
  TracePrint(TRACE_ERROR, u"CreateService failed (%d)\n", error);
  return error == win::ERROR_SERVICE_EXISTS && ServiceTakeOver(name, quoted);
}

// A service of this name that exists already (left by an older installation
// in another folder, or made by hand) may run another program, or not start
// at all: it gets the configuration the creation would have given it, or the
// product would run without its service and nobody would be told.
bool TMScmApi::ServiceTakeOver(const std::u16string& name, const std::u16string& quotedPath) {
  TracePrint(TRACE_VERBOSE, u"TMScmApi::ServiceCreate %s exists: it is given this product's configuration\n", name);
  service_.Reset(win::OpenServiceW(manager_.Get(), name.c_str(), win::SERVICE_ALL_ACCESS));
  if (!service_) {
    TracePrint(TRACE_ERROR, u"OpenService failed (%d)\n", win::GetLastError());
    return false;
  }
  // LocalSystem, which has no password, as the creation's null account means.
  if (!win::ChangeServiceConfigW(service_.Get(), kServiceType, win::SERVICE_AUTO_START, win::SERVICE_ERROR_IGNORE,
                                 quotedPath.c_str(), nullptr, nullptr, nullptr, u"LocalSystem", u"", name.c_str())) {
    TracePrint(TRACE_ERROR, u"ChangeServiceConfig failed (%d)\n", win::GetLastError());
    service_.Reset();
    return false;
  }
  // A running one still runs the program it was started with: it is stopped
  // (for 30 s at most), so that the start that follows runs this product's.
  win::DWORD state = 0;
  if (ServiceQueryStatus(service_.Get(), state) && state != win::SERVICE_STOPPED) ServiceStop(30);
  return true;
}

bool TMScmApi::ServiceStart() {
  if (!service_) {
    TracePrint(TRACE_ERROR, u"Service handle invalid.\n");
    return false;
  }
  if (!win::StartServiceW(service_.Get(), 0, nullptr)) {
    TracePrint(TRACE_ERROR, u"StartService failed (%d)\n", win::GetLastError());
    return false;
  }
  return true;
}

bool TMScmApi::ServiceQueryStatus(win::SC_HANDLE service, win::DWORD& state) {
  win::SERVICE_STATUS_PROCESS status{};
  win::DWORD needed = 0;
  if (!win::QueryServiceStatusEx(service, win::SC_STATUS_PROCESS_INFO, &status, sizeof(status), &needed)) {
    // The callers' line has no error code; this one gives it.
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (%d)\n", win::GetLastError());
    state = 0;
    return false;
  }
  state = status.dwCurrentState;
  return true;
}

bool TMScmApi::ServiceStop(std::int32_t maxWaits) {
  TracePrint(TRACE_FUNCTION, u">>> TMScmApi::ServiceStop\n");
  if (!service_) {
    TracePrint(TRACE_ERROR, u"Service handle invalid.\n");
    return false;
  }
  win::DWORD state = 0;
  if (!ServiceQueryStatus(service_.Get(), state)) {
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceQueryStatus failed!\n");
    return false;
  }
  if (state == win::SERVICE_STOPPED) {
    // A fixed text: it names no service of this system, whatever the name.
    TracePrint(TRACE_VERBOSE, u"TMScmApi::ServiceQueryStatus VelmoraNetService is already STOPPED\n");
    return true;
  }
  win::SERVICE_STATUS status{};
  if (!win::ControlService(service_.Get(), win::SERVICE_CONTROL_STOP, &status)) {
    TracePrint(TRACE_ERROR, u"ControlService SERVICE_CONTROL_STOP failed (%d)\n", win::GetLastError());
    return false;
  }
  std::int32_t waits = 0;
  while (waits < maxWaits) {
    if (!ServiceQueryStatus(service_.Get(), state)) {
      TracePrint(TRACE_ERROR, u"TMScmApi::ServiceQueryStatus failed!\n");
      return false;
    }
    if (state == win::SERVICE_STOPPED) break;
    win::Sleep(1000);
    ++waits;
  }
  // Also for a negative count: no wait was made, nothing was seen stopped.
  if (waits >= maxWaits) {
    // "serice" as the log has always spelt it: scripts search for this text.
    TracePrint(TRACE_ERROR, u"Unable to stop serice after %d tries.\n", waits);
    return false;
  }
  TracePrint(TRACE_SCMAPI, u"Service stopped after %d tries.\n", waits);
  return true;
}

bool TMScmApi::ServiceDelete() {
  TracePrint(TRACE_SCMAPI, u"Trying to delete service.\n");
  if (!service_) {
    TracePrint(TRACE_ERROR, u"Service handle invalid.\n");
    return false;
  }
  if (win::DeleteService(service_.Get())) return true;
  win::DWORD error = win::GetLastError();
  TracePrint(TRACE_ERROR, u"DeleteService failed. (%d)\n", error);
  switch (error) {
    case win::ERROR_ACCESS_DENIED:
      TracePrint(TRACE_ERROR, u"The handle does not have the DELETE access right.\n");
      break;
    case win::ERROR_INVALID_HANDLE:
      TracePrint(TRACE_ERROR, u"The specified handle is invalid. \n");
      break;
    case win::ERROR_SERVICE_MARKED_FOR_DELETE:
      TracePrint(TRACE_ERROR, u"The specified service has already been marked for deletion. \n");
      break;
    default:
      break;
  }
  return false;
}
