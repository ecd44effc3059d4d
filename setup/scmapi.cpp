#include "setup/scmapi.h"

#include <algorithm>
#include <string_view>

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

// Exit code 0 only when the service is registered with this product's
// configuration: an installer that goes on without it would ship a product
// that never gives a mouse its driver.
int TMSCAMainInternalServiceCreate(const std::u16string& name) {
  TMScmApi scm;
  std::u16string path;
  if (!Utilities::GetCurrentModulePath(path)) {
    TracePrint(TRACE_ERROR, u"Utilities::GetCurrentModulePath!\n");
    return 1;
  }
  path += u"\\";
  path += name;
  path += u".exe";
  TracePrint(TRACE_VERBOSE, u"Service name %s\n", name);
  TracePrint(TRACE_VERBOSE, u"Service filepath %s\n", path);
  if (!scm.ServiceCreate(name, path)) {
    TracePrint(TRACE_ERROR, u"ServiceCreate failed!\n");
    return 1;
  }
  // Registered: a start that fails now is the next boot's to make.
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
  if (!scm.ServiceStop(TMScmApi::kMaxWaits)) TracePrint(TRACE_ERROR, u"ServiceDelete failed!\n");
  if (!scm.ServiceDelete()) TracePrint(TRACE_ERROR, u"ServiceDelete failed!\n");
  return 0;
}

bool TMScmApi::IsServiceName(std::u16string_view name) {
  if (name.empty() || name.size() >= kServiceNameChars) return false;
  // "%" too: the manager expands the image path at every start.
  if (name.find_first_of(u"\\/:*?\"<>|%") != std::u16string_view::npos) return false;
  if (std::any_of(name.begin(), name.end(), wstr::IsControl)) return false;
  // Windows drops a trailing blank or dot from a file name, and a name
  // that differs only there is another service's.
  for (char16_t end : {name.front(), name.back()}) {
    if (end == u' ' || end == u'.') return false;
  }
  // A reserved device name, alone or before a dot, is that device in every
  // directory: "<directory>\\CON.exe" is the console.
  std::u16string_view base = name.substr(0, name.find(u'.'));
  for (std::u16string_view device : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (wstr::EqualsAsciiNoCase(base, device)) return false;
  }
  bool numbered = base.size() == 4 && base[3] >= u'1' && base[3] <= u'9';
  return !(numbered && (wstr::StartsWithAsciiNoCase(base, u"COM") || wstr::StartsWithAsciiNoCase(base, u"LPT")));
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
  // A double quote inside the path would end the quoted program path early:
  // the manager would run another program than the one meant.
  std::u16string quoted = QuotedPath(binaryPath);
  if (quoted.find(u'"', 1) != quoted.size() - 1) {
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate Binary path holds a double quote: %s\n", binaryPath);
    return false;
  }
  win::DWORD error = 0;
  if (Create(name, quoted, error)) return true;
  TracePrint(TRACE_ERROR, u"CreateService failed (%d)\n", error);
  // A service deleted while something holds a handle to it (the Services
  // console, a monitoring agent, an upgrade's earlier step) stays until that
  // handle closes, and its name cannot be registered meanwhile: waited for
  // as a stop is, once a second and 30 s at most.
  if (error == win::ERROR_SERVICE_MARKED_FOR_DELETE) {
    TracePrint(TRACE_VERBOSE, u"TMScmApi::ServiceCreate %s is marked for deletion: waiting for it to go\n", name);
    int waits = 0;
    while (error == win::ERROR_SERVICE_MARKED_FOR_DELETE && waits < kMaxWaits) {
      win::Sleep(1000);
      ++waits;
      if (Create(name, quoted, error)) {
        TracePrint(TRACE_VERBOSE, u"TMScmApi::ServiceCreate created after %d tries\n", waits);
        return true;
      }
    }
    if (error == win::ERROR_SERVICE_MARKED_FOR_DELETE) {
      TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate %s is still marked for deletion after %d tries\n", name, waits);
      return false;
    }
    TracePrint(TRACE_ERROR, u"CreateService failed (%d)\n", error);
  }
  if (error == win::ERROR_DUPLICATE_SERVICE_NAME) {
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate another service has the display name %s\n", name);
  }
  return error == win::ERROR_SERVICE_EXISTS && ServiceTakeOver(name, quoted);
}

bool TMScmApi::Create(const std::u16string& name, const std::u16string& quotedPath, win::DWORD& error) {
  service_.Reset(win::CreateServiceW(manager_.Get(), name.c_str(), name.c_str(), win::SERVICE_ALL_ACCESS, kServiceType,
                                     win::SERVICE_AUTO_START, win::SERVICE_ERROR_IGNORE, quotedPath.c_str(), nullptr,
                                     nullptr, nullptr, nullptr, nullptr));
  error = service_ ? 0 : win::GetLastError();
  return static_cast<bool>(service_);
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
  // An empty group and an empty dependency list, since null keeps the old
  // ones, and a dependency on a service that is gone fails every start.
  if (!win::ChangeServiceConfigW(service_.Get(), kServiceType, win::SERVICE_AUTO_START, win::SERVICE_ERROR_IGNORE,
                                 quotedPath.c_str(), u"", nullptr, u"\0", u"LocalSystem", u"", name.c_str())) {
    TracePrint(TRACE_ERROR, u"ChangeServiceConfig failed (%d)\n", win::GetLastError());
    service_.Reset();
    return false;
  }
  if (!ServiceResetConfig2()) {
    service_.Reset();
    return false;
  }
  // A running one still runs the program it was started with: it is stopped
  // (30 s at most), so that the start that follows runs this product's.
  win::DWORD state = 0;
  if (ServiceQueryStatus(service_.Get(), state) && state != win::SERVICE_STOPPED && !ServiceStop(kMaxWaits)) {
    // The registration is this product's all the same: the start fails, and
    // the user is asked to restart, which runs this product's program.
    TracePrint(TRACE_ERROR, u"TMScmApi::ServiceCreate %s did not stop: its old program runs until a restart\n", name);
  }
  return true;
}

// What ChangeServiceConfigW does not reach, as a new service has it: no
// failure actions (one may run a program as LocalSystem when the service
// fails), no delayed start, and every privilege of its account. A manager
// that does not know one of these (Wine's knows no delayed start: 124) keeps
// none of it for the old service either: nothing to reset there.
bool TMScmApi::ServiceResetConfig2() {
  win::WCHAR empty[2] = {};
  win::SC_ACTION none{};
  win::SERVICE_FAILURE_ACTIONSW failure{0, empty, empty, 0, &none};  // no actions: all deleted
  win::SERVICE_DELAYED_AUTO_START_INFO delayed{win::FALSE};
  win::SERVICE_REQUIRED_PRIVILEGES_INFOW privileges{empty};  // an empty list
  auto reset = [this](win::DWORD level, auto* info) {
    if (win::ChangeServiceConfig2W(service_.Get(), level, info)) return true;
    win::DWORD error = win::GetLastError();
    if (error == win::ERROR_INVALID_LEVEL) {
      TracePrint(TRACE_VERBOSE, u"ChangeServiceConfig2 %d unknown to the service manager: nothing to reset\n", level);
      return true;
    }
    TracePrint(TRACE_ERROR, u"ChangeServiceConfig2 %d failed (%d)\n", level, error);
    return false;
  };
  return reset(win::SERVICE_CONFIG_FAILURE_ACTIONS, &failure) &&
         reset(win::SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed) &&
         reset(win::SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, &privileges);
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
  // One that is stopping already is not asked again (it would refuse):
  // it is waited for all the same.
  win::SERVICE_STATUS status{};
  if (state == win::SERVICE_STOP_PENDING) {
    TracePrint(TRACE_VERBOSE, u"TMScmApi::ServiceStop the service is stopping already\n");
  } else if (!win::ControlService(service_.Get(), win::SERVICE_CONTROL_STOP, &status)) {
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
