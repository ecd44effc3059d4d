// The conformance cases; see conformance.h.
#include <cstdio>
#include <cstring>

#include "tests/conformance/conformance.h"

namespace conformance {
namespace {

const char* current = "";
unsigned failed = 0, gaps = 0;

using namespace win;
using S = std::u16string;
constexpr char16_t kService[] = u"TovConformance";
constexpr DWORD kAll = 0xFFFFFFFF, kNotLocked = 158;  // ERROR_NOT_LOCKED

// As the programs open their log file.
HANDLE Open(const S& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

void Process() {
  SetLastError(1234);
  CHECK(GetLastError() == 1234);
  SYSTEMTIME t{};
  GetLocalTime(&t);
  CHECK(t.wYear >= 2024 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wHour < 24);
  OutputDebugStringW(u"conformance\n");
  Sleep(0);
  WCHAR text[64];
  constexpr DWORD kSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, text, 64, nullptr);
  CHECK(length > 2 && length == S(text).size() && S(text).ends_with(u"\r\n"));
  CHECK_WINE_GAP(S(text) == u"The system cannot find the file specified.\r\n", "texts of its own");
  CHECK(!FormatMessageW(kSystem, nullptr, ERROR_FILE_NOT_FOUND, 0, text, 8, nullptr) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  CHECK(!FormatMessageW(kSystem, nullptr, ERROR_NO_SUCH_DEVINST, 0, text, 64, nullptr) &&
        GetLastError() == ERROR_MR_MID_NOT_FOUND);
  // A user could see a window: a visible window station outside session 0.
  USEROBJECTFLAGS flags{};
  DWORD needed = 0, session = 0;
  CHECK(GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed) &&
        needed == sizeof flags && (flags.dwFlags & WSF_VISIBLE) != 0);
  CHECK(ProcessIdToSessionId(GetCurrentProcessId(), &session) && session != 0 && GetDesktopWindow() != nullptr);
  if (Runs("a message box waits for a person")) CHECK(MessageBoxW(nullptr, u"text", u"caption", MB_OK) == IDOK);
}

void Files() {
  const S path = Dir() + u"\\conformance.log";
  HANDLE a = Open(path);
  CHECK(a != INVALID_HANDLE_VALUE && GetLastError() == ERROR_SUCCESS);
  HANDLE b = Open(path);
  CHECK(b != INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS);
  DWORD written = 0;
  BY_HANDLE_FILE_INFORMATION info{};
  CHECK(WriteFile(a, "abc", 3, &written, nullptr) && written == 3 && GetFileInformationByHandle(b, &info) &&
        info.nFileSizeLow == 3 && info.nNumberOfLinks == 1 &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0);
  OVERLAPPED whole{};
  constexpr DWORD kLock = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
  CHECK(LockFileEx(a, kLock, 0, kAll, kAll, &whole));
  CHECK(!LockFileEx(b, kLock, 0, kAll, kAll, &whole) && GetLastError() == ERROR_LOCK_VIOLATION);
  LARGE_INTEGER zero{};
  CHECK(SetFilePointerEx(b, zero, nullptr, FILE_END));
  CHECK_WINE_GAP(!WriteFile(b, "d", 1, &written, nullptr) && GetLastError() == ERROR_LOCK_VIOLATION,
                 "a write passes another handle's lock");
  CHECK(UnlockFileEx(a, 0, kAll, kAll, &whole));
  CHECK_WINE_GAP(!UnlockFileEx(a, 0, kAll, kAll, &whole) && GetLastError() == kNotLocked, "no last error");
  CHECK(CloseHandle(a) && CloseHandle(b));
  CHECK(!CloseHandle(a) && GetLastError() == ERROR_INVALID_HANDLE);
  CHECK(Open(Dir()) == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED);  // a directory

  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((Dir() + u"\\conf*.log").c_str(), &found);
  CHECK(find != INVALID_HANDLE_VALUE && S(found.cFileName) == u"conformance.log");
  CHECK(!FindNextFileW(find, &found) && GetLastError() == ERROR_NO_MORE_FILES && FindClose(find));
  CHECK(DeleteFileW(path.c_str()));
  CHECK(!DeleteFileW(path.c_str()) && GetLastError() == ERROR_FILE_NOT_FOUND);
  CHECK(FindFirstFileW((Dir() + u"\\conf*").c_str(), &found) == INVALID_HANDLE_VALUE &&
        GetLastError() == ERROR_FILE_NOT_FOUND);
}

void Modules() {
  WCHAR path[MAX_PATH];
  CHECK(GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH) == Self().size() && S(path) == Self());
  CHECK(GetModuleFileNameW(nullptr, path, 4) == 4 && GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  CHECK_WINE_GAP(path[3] == 0, "a path cut short is not terminated");
  UINT length = GetWindowsDirectoryW(path, MAX_PATH);
  CHECK(length > 3 && length == S(path).size() && GetWindowsDirectoryW(path, 2) == length + 1);
  CHECK(SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32));
  HMODULE newdev = LoadLibraryExW(u"newdev.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  CHECK(newdev != nullptr && GetProcAddress(newdev, "InstallSelectedDriver") != nullptr);
  CHECK(!GetProcAddress(newdev, "TovNoSuchExport") && GetLastError() == ERROR_PROC_NOT_FOUND && FreeLibrary(newdev));
  CHECK(!LoadLibraryExW(u"tovnone.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32) &&
        GetLastError() == ERROR_MOD_NOT_FOUND);
  WCHAR p[MAX_PATH] = u"C:\\a\\b.exe";
  CHECK(PathRemoveFileSpecW(p) && S(p) == u"C:\\a" && PathRemoveFileSpecW(p) && S(p) == u"C:\\");
  CHECK(!PathRemoveFileSpecW(p) && S(p) == u"C:\\");  // nothing to remove
  CHECK(PathAppendW(p, u"\\b") && PathAppendW(p, u"c") && S(p) == u"C:\\b\\c");
}

void Devices() {
  const S id = u"HID\\VID_0430&PID_0005&MI_01", ids = u"HID\\VID_0430&PID_0005&REV_0101&MI_01;" + id;
  AddDevice(id + u"\\1", ids, u"tovfiltr");
  AddDevice(id + u"\\2", ids, u"");
  HDEVINFO set = SetupDiGetClassDevsW(nullptr, id.c_str(), nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  SP_DEVINFO_DATA dev{sizeof dev, {}, 0, 0}, dev2 = dev, bad{1, {}, 0, 0};
  CHECK(SetupDiEnumDeviceInfo(set, 0, &dev) && SetupDiEnumDeviceInfo(set, 1, &dev2));
  CHECK(!SetupDiEnumDeviceInfo(set, 2, &dev2) && GetLastError() == ERROR_NO_MORE_ITEMS);
  CHECK(!SetupDiEnumDeviceInfo(set, 0, &bad) && GetLastError() == ERROR_INVALID_USER_BUFFER);
  // REG_MULTI_SZ: each string with its terminator, and one more.
  BYTE buffer[512];
  DWORD type = 0, size = 0;
  CHECK(!SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_HARDWAREID, &type, buffer, 8, &size) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && size == (ids.size() + 2) * 2);
  CHECK(SetupDiGetDeviceRegistryPropertyW(set, &dev, SPDRP_UPPERFILTERS, &type, buffer, sizeof buffer, &size) &&
        type == REG_MULTI_SZ && size == 20 && std::memcmp(buffer, u"tovfiltr\0", 20) == 0);
  CHECK(!SetupDiGetDeviceRegistryPropertyW(set, &dev2, SPDRP_UPPERFILTERS, &type, buffer, sizeof buffer, &size) &&
        GetLastError() == ERROR_INVALID_DATA);
  HKEY key = SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  CHECK(key != INVALID_HANDLE_VALUE && RegCloseKey(key) == ERROR_SUCCESS);
  CHECK(RegCloseKey(key) == static_cast<LSTATUS>(ERROR_INVALID_HANDLE));

  SP_DRVINFO_DATA_W driver{};
  driver.cbSize = sizeof driver;
  CHECK(SetupDiSetSelectedDevice(set, &dev) && SetupDiBuildDriverInfoList(set, &dev, SPDIT_COMPATDRIVER));
  CHECK(SetupDiEnumDriverInfoW(set, &dev, SPDIT_COMPATDRIVER, 0, &driver) && S(driver.MfgName) == u"Tov Conformance");
  CHECK(!SetupDiEnumDriverInfoW(set, &dev, SPDIT_COMPATDRIVER, 1, &driver) && GetLastError() == ERROR_NO_MORE_ITEMS);
  if (Runs("SetupDiSetSelectedDriverW ends the process")) CHECK(SetupDiSetSelectedDriverW(set, &dev, &driver));
  CHECK(!SetupSetNonInteractiveMode(TRUE) && SetupSetNonInteractiveMode(FALSE));  // the previous setting
  CHECK(SetupPromptReboot(nullptr, GetDesktopWindow(), FALSE) != -1);             // asks the user (Wine: 0)

  // A global removal.
  SP_REMOVEDEVICE_PARAMS remove{{sizeof(SP_CLASSINSTALL_HEADER), DIF_REMOVE}, DI_REMOVEDEVICE_GLOBAL, 0};
  CHECK_WINE_GAP(SetupDiSetClassInstallParamsW(set, &dev2, &remove.ClassInstallHeader, sizeof remove),
                 "a stub that returns FALSE");
  SP_DEVINSTALL_PARAMS_W params{};
  CHECK(SetupDiCallClassInstaller(DIF_REMOVE, set, &dev2));
  CHECK(!SetupDiGetDeviceInstallParamsW(set, &dev, &params) && GetLastError() == ERROR_INVALID_USER_BUFFER);
  params.cbSize = sizeof params;
  CHECK_WINE_GAP(SetupDiGetDeviceInstallParamsW(set, &dev2, &params), "a removed device's element is gone");
  CHECK(SetupDiDestroyDeviceInfoList(set));
  CHECK(!SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE) && GetLastError() == ERROR_INVALID_HANDLE);
  // Afterwards the set has no removed device; a device ID that names no device gives an empty set.
  for (const char16_t* e : {id.c_str(), u"HID\\VID_0430&PID_0006&MI_01"}) {
    set = SetupDiGetClassDevsW(nullptr, e, nullptr, DIGCF_ALLCLASSES);
    CHECK(set != INVALID_HANDLE_VALUE && !SetupDiEnumDeviceInfo(set, e == id ? 1 : 0, &dev) &&
          GetLastError() == ERROR_NO_MORE_ITEMS && SetupDiDestroyDeviceInfoList(set));
  }
  DEVINST root = 0;
  CHECK_WINE_GAP(CM_Locate_DevNodeW(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS &&
                     CM_Reenumerate_DevNode(root, CM_REENUMERATE_NORMAL) == CR_SUCCESS,
                 "no root device node (CR_FAILURE)");
}

void Store() {
  const S inf = Dir() + u"\\tovconf.inf", none = Dir() + u"\\none.inf";
  const char kInf[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  HANDLE h = Open(inf);
  DWORD size = 0;
  CHECK(WriteFile(h, kInf, sizeof kInf - 1, &size, nullptr) && CloseHandle(h));
  CHECK(!SetupCopyOEMInfW(none.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr) &&
        GetLastError() == ERROR_FILE_NOT_FOUND);
  CHECK(SetupCopyOEMInfW(inf.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr));
  WCHAR windir[MAX_PATH];
  const S infDir = S(windir, GetWindowsDirectoryW(windir, MAX_PATH)) + u"\\INF\\";
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW((infDir + u"oem*.inf").c_str(), &found);
  CHECK_WINE_GAP(find != INVALID_HANDLE_VALUE, "the first copy keeps the INF's own name");
  const S oem = find != INVALID_HANDLE_VALUE && FindClose(find) ? S(found.cFileName) : S(u"tovconf.inf");

  alignas(8) BYTE buffer[4096];
  auto* info = reinterpret_cast<SP_INF_INFORMATION*>(buffer);
  auto get = [&](const S& path) {
    return SetupGetInfInformationW(path.c_str(), INFINFO_INF_NAME_IS_ABSOLUTE, info, sizeof buffer, &size);
  };
  CHECK(get(infDir + oem) && size <= sizeof buffer && info->InfCount == 1);
  SP_ORIGINAL_FILE_INFO_W original{};
  CHECK(!SetupQueryInfOriginalFileInformationW(info, 0, nullptr, &original) &&
        GetLastError() == ERROR_INVALID_USER_BUFFER);
  original.cbSize = sizeof original;
  CHECK(SetupQueryInfOriginalFileInformationW(info, 0, nullptr, &original) &&
        S(original.OriginalInfName) == u"tovconf.inf");
  CHECK(SetupUninstallOEMInfW(oem.c_str(), SUOI_FORCEDELETE, nullptr));
  CHECK(!get(infDir + oem) && GetLastError() == ERROR_FILE_NOT_FOUND);
  CHECK_WINE_GAP(
      FindFirstFileW((infDir + oem.substr(0, oem.size() - 3) + u"pn*").c_str(), &found) == INVALID_HANDLE_VALUE,
      "the PNF file stays");
  CHECK(!SetupUninstallOEMInfW(oem.c_str(), SUOI_FORCEDELETE, nullptr) && GetLastError() == ERROR_FILE_NOT_FOUND);
}

// --- The service, and the service control manager ---------------------------------

SERVICE_STATUS_HANDLE status;
HANDLE stop;

void Report(DWORD state, DWORD exitCode = 0) {
  SERVICE_STATUS s{SERVICE_WIN32_OWN_PROCESS, state, SERVICE_ACCEPT_STOP, exitCode, 0, 0, 0};
  CHECK(SetServiceStatus(status, &s));
}

DWORD TOV_WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  if (control == SERVICE_CONTROL_STOP) Report(SERVICE_STOP_PENDING), CHECK(SetEvent(stop));
  return NO_ERROR;
}

// Runs until stopped; it stops with the number of its checks that failed.
void TOV_WINAPI ServiceMain(DWORD, LPWSTR* argv) {
  const unsigned before = failed;
  status = RegisterServiceCtrlHandlerExW(argv[0], Handler, nullptr);
  CHECK(status != nullptr && S(argv[0]) == kService);
  DEV_BROADCAST_DEVICEINTERFACE_W filter{sizeof filter, DBT_DEVTYP_DEVICEINTERFACE, 0, GUID_DEVINTERFACE_MOUSE, {}};
  CHECK(RegisterDeviceNotificationW(status, &filter, DEVICE_NOTIFY_SERVICE_HANDLE) != nullptr);
  stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  Report(SERVICE_RUNNING);
  CHECK(WaitForSingleObject(stop, INFINITE) == WAIT_OBJECT_0 && CloseHandle(stop));
  Report(SERVICE_STOPPED, failed - before);
}

// The service's status once it is `state`, or after ten seconds.
SERVICE_STATUS_PROCESS Await(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS_PROCESS s{};
  DWORD needed = 0;
  for (int i = 0; i < 200 && s.dwCurrentState != state; ++i, Sleep(50)) {
    CHECK(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed));
  }
  return s;
}

void Services() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  const S image = S(u"\"").append(Self()).append(u"\" service");
  auto create = [&](const char16_t* name) {
    return CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                          SERVICE_ERROR_IGNORE, image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  };
  SC_HANDLE service = create(kService);
  CHECK(manager != nullptr && service != nullptr);
  CHECK(!create(u"tovconformance") && GetLastError() == ERROR_SERVICE_EXISTS);  // names ignore case
  CHECK(!create(u"Tov\\Conformance") && GetLastError() == ERROR_INVALID_NAME);
  CHECK(!OpenServiceW(manager, u"TovNone", SERVICE_ALL_ACCESS) && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST);
  SERVICE_STATUS s{};
  CHECK(Await(service, SERVICE_STOPPED).dwProcessId == 0);
  CHECK(!ControlService(service, SERVICE_CONTROL_STOP, &s) && GetLastError() == ERROR_SERVICE_NOT_ACTIVE);
  CHECK(StartServiceW(service, 0, nullptr) && Await(service, SERVICE_RUNNING).dwProcessId != 0);
  CHECK(!StartServiceW(service, 0, nullptr) && GetLastError() == ERROR_SERVICE_ALREADY_RUNNING);
  CHECK(ControlService(service, SERVICE_CONTROL_INTERROGATE, &s) && s.dwCurrentState == SERVICE_RUNNING);
  CHECK(ControlService(service, SERVICE_CONTROL_STOP, &s) && s.dwCurrentState != SERVICE_RUNNING);
  const SERVICE_STATUS_PROCESS stopped = Await(service, SERVICE_STOPPED);
  CHECK(stopped.dwCurrentState == SERVICE_STOPPED && stopped.dwWin32ExitCode == 0);
  // Deleted once its last handle is closed; until then it is marked.
  CHECK(DeleteService(service));
  CHECK(!DeleteService(service) && GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE);
  CHECK(!create(kService) && GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE && CloseServiceHandle(service));
  CHECK(!OpenServiceW(manager, kService, SERVICE_ALL_ACCESS) && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST);
  CHECK(CloseServiceHandle(manager));
  CHECK(!CloseServiceHandle(manager) && GetLastError() == ERROR_INVALID_HANDLE);
  // Outside a service process.
  CHECK(ServiceProcess() == 1 && GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
  CHECK(!RegisterServiceCtrlHandlerExW(kService, Handler, nullptr) && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST);
  CHECK(!SetServiceStatus(nullptr, &s) && GetLastError() == ERROR_INVALID_HANDLE);
}

// A process started through the shell, and events.
void Processes() {
  const S self = Self(), missing = Dir() + u"\\none.exe";
  SHELLEXECUTEINFOW e{};
  e.cbSize = sizeof e;
  e.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  e.lpFile = self.c_str();
  e.lpParameters = u"child";
  CHECK(ShellExecuteExW(&e) && e.hProcess != nullptr);
  CHECK(WaitForSingleObject(e.hProcess, INFINITE) == WAIT_OBJECT_0 && CloseHandle(e.hProcess));
  e.lpFile = missing.c_str();
  CHECK(!ShellExecuteExW(&e) && GetLastError() == ERROR_FILE_NOT_FOUND &&
        e.hInstApp == reinterpret_cast<HINSTANCE>(std::uintptr_t{2}));  // SE_ERR_FNF
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CHECK(event != nullptr && SetEvent(event) && WaitForSingleObject(event, INFINITE) == WAIT_OBJECT_0);
  CHECK(CloseHandle(event) && !SetEvent(event) && GetLastError() == ERROR_INVALID_HANDLE);
}

}  // namespace

void Check(bool ok, const char* what, int line, const char* wineGap) {
  DWORD error = GetLastError();
  const char* gap = kWine ? wineGap : nullptr;
  if (ok && gap == nullptr) return;
  ++(ok || gap == nullptr ? failed : gaps);
  std::printf("%s:%d: %s%s: %s (last error %u)\n", current, line,
              ok    ? "passes, unmark "
              : gap ? "Wine differs, "
                    : "FAIL",
              gap ? gap : "", what, static_cast<unsigned>(error));
}
bool Runs(const char* wineGap) {
  if (kWine) ++gaps, std::printf("%s: Wine differs, %s: not run\n", current, wineGap);
  return !kWine;
}
unsigned RunCase(const Case& c) {
  unsigned before = failed;
  current = c.name, c.run();
  return failed - before;
}
unsigned WineGaps() { return gaps; }

int ServiceProcess() {
  S name = kService;
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

const std::vector<Case> kCases = {{"process", Process},    {"files", Files}, {"modules", Modules},
                                  {"devices", Devices},    {"store", Store}, {"services", Services},
                                  {"processes", Processes}};

}  // namespace conformance
