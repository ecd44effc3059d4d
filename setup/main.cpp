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

// The commands' handlers: each gets the whole token list, with as many
// tokens as its command needs, each of them valid, and returns the exit code.

int RunServiceCreate(const TokenList& tokens) { return TMSCAMainInternalServiceCreate(tokens.entries[1]); }

int RunServiceDelete(const TokenList& tokens) { return TMSCAMainInternalServiceDelete(tokens.entries[1]); }

int RunDriverPackageInstall(const TokenList& tokens) {
  std::int32_t result = TMSCAMainInternalDriverPackageInstall(tokens.entries[1]);
  if (result != 0) TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall failed!\n");
  return result;
}

int RunDriverPackageUninstall(const TokenList& tokens) {
  return TMSCAMainInternalDriverPackageUninstall(tokens.entries[1]);
}

int RunReEnumerate(const TokenList&) {
  SetupApi::ReEnumerate();
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
    // Its exit code says whether the product's service is there.
    {u"-ServiceCreate", {{{u"service name", TMScmApi::IsServiceName}}}, RunServiceCreate, 1},
    {u"-ServiceDelete", {{{u"service name", TMScmApi::IsServiceName}}}, RunServiceDelete},
    {u"-DriverPackageInstall", {{{u"INF file path"}}}, RunDriverPackageInstall},
    {u"-DriverPackageUninstall", {{{u"INF file name"}}}, RunDriverPackageUninstall},
    {u"-ReEnumerate", {}, RunReEnumerate},
    {u"-DeviceInstancesUninstall", {{{u"device ID"}}}, RunDeviceInstancesUninstall},
    {u"-DriverUpdate", {{{u"device ID"}, {u"second parameter"}}}, RunDriverUpdate},
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

  // The argument from its first character: token 0, unless it began with a comma.
  std::u16string_view first(argument);
  const SetupCommand* info = nullptr;
  for (const SetupCommand& c : kCommands) {
    if (wstr::EqualsAsciiNoCase(first, c.name)) {
      info = &c;
      break;
    }
  }
  // No caller passes more than three tokens: a longer argument is refused
  // rather than partly obeyed.
  if (tokens.tooMany) {
    TracePrint(TRACE_ERROR, u"_tWinMain: More than %d command line parameters, nothing done\n", TokenList::kMaxTokens);
    return info != nullptr ? info->nothingDone : 0;
  }
  if (info == nullptr) {
    TracePrint(TRACE_FUNCTION, u"<<< _tWinMain\n");
    return 0;
  }
  if (tokens.count <= info->TokensNeeded()) {
    TracePrint(TRACE_ERROR, u"_tWinMain: %s is missing parameter %d (%s), nothing done\n", info->name, tokens.count,
               info->tokens[tokens.count - 1].name);
    return info->nothingDone;
  }

  // Decided once, before the command's first Setup API call. Where nobody can
  // see a window, a window would wait for ever, and with it whoever waits for
  // this run: the Setup API and class installers are told to fail instead.
  Utilities::InteractiveRun = Utilities::IsInteractiveSession();
  if (!Utilities::InteractiveRun) {
    win::SetupSetNonInteractiveMode(win::TRUE);
    TracePrint(TRACE_VERBOSE, u"_tWinMain: not an interactive session, the run shows no user interface\n");
  }

  // A token that the command does not take: nothing is asked of the system
  // on its behalf.
  for (int i = 1; i <= info->TokensNeeded(); ++i) {
    const SetupToken& token = info->tokens[i - 1];
    if (token.valid != nullptr && !token.valid(tokens.entries[i])) {
      TracePrint(TRACE_ERROR, u"_tWinMain: %s \"%s\" is not a %s, nothing done\n", info->name, tokens.entries[i],
                 token.name);
      return info->nothingDone;
    }
  }
  return info->run(tokens);
}
