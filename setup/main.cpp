#include "setup/main.h"

#include <cstdint>
#include <string>

#include "common/wstr.h"
#include "setup/devicesetup.h"
#include "setup/driverstore.h"
#include "setup/scmapi.h"
#include "setup/trace.h"
#include "setup/utilities.h"

namespace {

// The build stamp, "Mmm dd yyyy" and "hh:mm:ss"; the compiler takes both
// from SOURCE_DATE_EPOCH when it is set, so a build can be reproduced.
constexpr char kBuildDate[] = __DATE__;
constexpr char kBuildTime[] = __TIME__;

// wcstok over the delimiter ",": skips leading commas, ends the token at the
// next comma (overwritten with a null) or at the end; null when nothing is left.
win::LPWSTR NextToken(win::LPWSTR& rest) {
  win::LPWSTR p = rest;
  while (*p == u',') ++p;
  if (*p == 0) {
    rest = p;
    return nullptr;
  }
  win::LPWSTR token = p;
  while (*p != 0 && *p != u',') ++p;
  if (*p == u',') *p++ = 0;
  rest = p;
  return token;
}

// The service commands act on a service name only: any other token is
// refused before the manager is asked anything.
bool IsServiceName(const char16_t* command, const std::u16string& name) {
  if (Utilities::IsServiceNameToken(name)) return true;
  TracePrint(TRACE_ERROR, u"_tWinMain: %s \"%s\" is not a service name, nothing done\n", command, name);
  return false;
}

// The commands' handlers: each gets the whole token list, with as many
// tokens as its command needs, and returns the exit code.

int RunServiceCreate(const TokenList& tokens) {
  const std::u16string name = tokens.entries[1];
  if (!IsServiceName(u"-ServiceCreate", name)) return 0;
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

int RunServiceDelete(const TokenList& tokens) {
  const std::u16string name = tokens.entries[1];
  if (!IsServiceName(u"-ServiceDelete", name)) return 0;
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

int RunDriverPackageInstall(const TokenList& tokens) {
  std::int32_t result = TMSCAMainInternalDriverPackageInstall(tokens.entries[1]);
  if (result != 0) TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall failed!\n");
  return result;
}

int RunDriverPackageUninstall(const TokenList& tokens) {
  return TMSCAMainInternalDriverPackageUninstall(tokens.entries[1]);
}

int RunReEnumerate(const TokenList&) {
  win::DEVINST root = 0;
  win::CONFIGRET cr = win::CM_Locate_DevNodeW(&root, nullptr, win::CM_LOCATE_DEVNODE_NORMAL);
  if (cr == win::CR_SUCCESS) {
    cr = win::CM_Reenumerate_DevNode(root, win::CM_REENUMERATE_NORMAL);
    if (cr != win::CR_SUCCESS) TracePrint(TRACE_ERROR, u"_tWinMain CM_Reenumerate_DevNode failed! 0x%x\n", cr);
  } else {
    TracePrint(TRACE_ERROR, u"_tWinMain CM_Locate_DevNode failed! 0x%x\n", cr);
  }
  TracePrint(TRACE_FUNCTION, u"<<< _tWinMain\n");
  return 0;
}

int RunDeviceInstancesUninstall(const TokenList& tokens) {
  SetupApi::DeviceInstancesUninstall(tokens.entries[1]);  // its failures are traced there
  return 0;
}

int RunDriverUpdate(const TokenList& tokens) {
  bool accessDenied = false;
  if (SetupApi::DriverUpdate(tokens.entries[1], tokens.entries[2], &accessDenied)) return 0;
  if (accessDenied) {
    TracePrint(TRACE_VERBOSE, u"SetupApi::DriverUpdate ERROR_ACCESS_DENIED!\n");
    return static_cast<int>(win::ERROR_ACCESS_DENIED);
  }
  TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate failed!\n");
  return 1;
}

// In the order in which they are compared.
constexpr SetupCommand kCommands[] = {
    {u"-ServiceCreate", {u"service name"}, RunServiceCreate},
    {u"-ServiceDelete", {u"service name"}, RunServiceDelete},
    {u"-DriverPackageInstall", {u"INF file path"}, RunDriverPackageInstall},
    {u"-DriverPackageUninstall", {u"INF file name"}, RunDriverPackageUninstall},
    {u"-ReEnumerate", {}, RunReEnumerate},
    {u"-DeviceInstancesUninstall", {u"device ID"}, RunDeviceInstancesUninstall},
    {u"-DriverUpdate", {u"device ID", u"second parameter"}, RunDriverUpdate},
};

}  // namespace

std::span<const SetupCommand> SetupCommands() { return kCommands; }

TokenList TMSCAMainInternalSplitArgument(win::LPWSTR argument) {
  TokenList list;
  win::LPWSTR rest = argument;
  list.entries[0] = NextToken(rest);
  int index = 0;
  while (list.entries[index] != nullptr) {
    if (index == 0) {
      TracePrint(TRACE_INVOCATION, u"Parameter[%d]: %s\n", index, list.entries[index]);
    } else {
      TracePrint(TRACE_INVOCATION, u"Parameter[%d]:  %s\n", index, list.entries[index]);
    }
    ++index;
    win::LPWSTR next = NextToken(rest);
    if (next != nullptr && index == TokenList::kMaxTokens) {
      list.tooMany = true;
      break;
    }
    list.entries[index] = next;
  }
  list.count = index;
  return list;
}

int TMSCAMain(win::LPWSTR argument) {
  // Before anything can load a library: a load that names no directories of
  // its own searches the system directory only, never the current directory,
  // which others may be able to write to.
  bool dllSearchSet = win::SetDefaultDllDirectories(win::LOAD_LIBRARY_SEARCH_SYSTEM32) != win::FALSE;
  win::DWORD dllSearchError = dllSearchSet ? 0 : win::GetLastError();
  TraceLogReset();
  TraceMaskInit();
  TracePrint(TRACE_FUNCTION, u">>> _tWinMain\n");
  win::SYSTEMTIME now{};
  win::GetLocalTime(&now);
  TracePrint(TRACE_INVOCATION, u"Call: %d/%d/%d %d:%d:%d Build: %S %S\n", now.wMonth, now.wDay, now.wYear, now.wHour,
             now.wMinute, now.wSecond, kBuildDate, kBuildTime);
  if (!dllSearchSet) TracePrint(TRACE_ERROR, u"_tWinMain SetDefaultDllDirectories failed! %d\n", dllSearchError);
  if (argument == nullptr || argument[0] == 0) {
    TracePrint(TRACE_ERROR, u"_tWinMain: No command line parameter\n");
    return 0;
  }

  // Every token is traced, and a control character in one (a line feed, for
  // one) would start a log line of its own: each is written as "?". No file,
  // device, package or service name holds one, so no command loses a token.
  for (win::LPWSTR p = argument; *p != 0; ++p) {
    if (wstr::IsControl(*p)) *p = u'?';
  }
  TokenList tokens = TMSCAMainInternalSplitArgument(argument);
  // No caller passes more than three tokens: a longer argument is refused
  // rather than partly obeyed.
  if (tokens.tooMany) {
    TracePrint(TRACE_ERROR, u"_tWinMain: More than %d command line parameters, nothing done\n", TokenList::kMaxTokens);
    return 0;
  }

  // The argument from its first character: token 0, unless it began with a comma.
  std::u16string_view first(argument);
  const SetupCommand* info = nullptr;
  for (const SetupCommand& c : kCommands) {
    if (wstr::EqualsAsciiNoCase(first, c.name)) {
      info = &c;
      break;
    }
  }
  if (info == nullptr) {
    TracePrint(TRACE_FUNCTION, u"<<< _tWinMain\n");
    return 0;
  }
  if (tokens.count <= info->TokensNeeded()) {
    TracePrint(TRACE_ERROR, u"_tWinMain: %s is missing parameter %d (%s), nothing done\n", info->name, tokens.count,
               info->tokenNames[tokens.count - 1]);
    return 0;
  }

  // Decided once, before the command's first Setup API call. Where nobody can
  // see a window, a window would wait for ever, and with it whoever waits for
  // this run: the Setup API and class installers are told to fail instead.
  Utilities::InteractiveRun = Utilities::IsInteractiveSession();
  if (!Utilities::InteractiveRun) {
    win::SetupSetNonInteractiveMode(win::TRUE);
    TracePrint(TRACE_VERBOSE, u"_tWinMain: not an interactive session, the run shows no user interface\n");
  }

  return info->run(tokens);
}
