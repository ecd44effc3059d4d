// The conformance cases against Windows (conformance.exe, run under Wine by
// tests/wine/test_conformance.sh): it prints each failure and each known Wine
// difference met, and exits with 0 when no check failed. It also creates
// devices for the Wine tests: "conformance.exe create <instance ID> <hardware
// IDs> [<upper filters>]", lists with ";" between entries, prints "created <ID>".
#include "tests/conformance/conformance.h"  // first: <windows.h> defines macros that clash with it

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace conformance {

const bool kWine = true;

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::u16string U(const char* s) { return std::u16string(s, s + std::strlen(s)); }

// A registered device of the mouse class, with its hardware key.
bool CreateDevice(const std::u16string& instanceId, const std::u16string& hardwareIds, std::u16string upperFilters) {
  static const GUID kMouse = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
  auto put = [&](DWORD property, std::u16string list) {  // "a;b" as the REG_MULTI_SZ "a\0b\0\0"
    std::replace(list.begin(), list.end(), u';', u'\0');
    list.append(2, u'\0');
    return list.size() == 2 ||
           SetupDiSetDeviceRegistryPropertyW(set, &device, property, reinterpret_cast<BYTE*>(list.data()),
                                             static_cast<DWORD>(list.size() * 2));
  };
  return SetupDiCreateDeviceInfoW(set, W(instanceId), &kMouse, nullptr, nullptr, 0, &device) &&
         put(SPDRP_HARDWAREID, hardwareIds) && put(SPDRP_UPPERFILTERS, upperFilters) &&
         SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
         SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr) !=
             INVALID_HANDLE_VALUE &&
         SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

std::u16string Dir() {
  WCHAR temp[MAX_PATH];
  std::wstring dir = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"tovconformance";
  CreateDirectoryW(dir.c_str(), nullptr);
  return std::u16string(dir.begin(), dir.end());
}
std::u16string Self() {
  WCHAR path[MAX_PATH];
  return std::u16string(path, path + GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// The driver: an INF of the INF directory for the first hardware ID.
void AddDevice(const std::u16string& instanceId, const std::u16string& hardwareIds,
               const std::u16string& upperFilters) {
  std::string inf =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Mouse\r\n[Manufacturer]\r\nTov Conformance=Models\r\n"
      "[Models]\r\nTov Mouse=Install," +
      std::string(hardwareIds.begin(), std::find(hardwareIds.begin(), hardwareIds.end(), u';')) + "\r\n[Install]\r\n";
  WCHAR path[MAX_PATH];
  std::wstring file = std::wstring(path, GetWindowsDirectoryW(path, MAX_PATH)) + L"\\inf\\tovconformance.inf";
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  Check(WriteFile(h, inf.data(), static_cast<DWORD>(inf.size()), &written, nullptr) && CloseHandle(h) &&
            CreateDevice(instanceId, hardwareIds, upperFilters),
        "the device and its driver's INF are made", __LINE__);
}

}  // namespace conformance

int main(int argc, char** argv) {
  using namespace conformance;
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "service") return ServiceProcess();
  if (command == "create" && (argc == 4 || argc == 5)) {
    bool created = CreateDevice(U(argv[2]), U(argv[3]), argc == 5 ? U(argv[4]) : u"");
    return std::printf(created ? "created %s\n" : "%s not created\n", argv[2]), created ? 0 : 1;
  }
  if (argc > 1) return 0;  // started by the cases
  unsigned failed = 0;
  for (const Case& c : kCases) failed += RunCase(c);
  std::printf("%u checks failed, %u known Wine differences\n", failed, WineGaps());
  return failed == 0 ? 0 : 1;
}
