// Test helper: creates a device in the Wine prefix's device tree.
//
// Usage: mkdevice.exe create <instance ID> <hardware IDs> [<upper filters>]
// Lists are given with ";" between their entries. It registers a mouse-class
// device with the instance ID as given and prints "created <ID>".
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstdio>
#include <string>

namespace {

const GUID kMouseClass = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Sets a list property: "a;b" as the REG_MULTI_SZ bytes "a\0b\0\0".
bool SetList(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property, const wchar_t* list) {
  std::wstring bytes = list;
  for (wchar_t& c : bytes) c = c == L';' ? L'\0' : c;
  bytes.append(2, L'\0');
  return SetupDiSetDeviceRegistryPropertyW(set, device, property, reinterpret_cast<BYTE*>(bytes.data()),
                                           static_cast<DWORD>(bytes.size() * sizeof(wchar_t)));
}

int Fail(const char* what) {
  std::printf("%s failed: %lu\n", what, GetLastError());
  return 1;
}

// The process ends after one device, and the set is released with it.
int Create(const wchar_t* instanceId, const wchar_t* hardwareIds, const wchar_t* upperFilters) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
  if (!SetupDiCreateDeviceInfoW(set, instanceId, &kMouseClass, nullptr, nullptr, 0, &device)) {
    return Fail("SetupDiCreateDeviceInfoW");
  }
  if (!SetList(set, &device, SPDRP_HARDWAREID, hardwareIds)) {
    return Fail("SetupDiSetDeviceRegistryPropertyW(SPDRP_HARDWAREID)");
  }
  if (upperFilters != nullptr && !SetList(set, &device, SPDRP_UPPERFILTERS, upperFilters)) {
    return Fail("SetupDiSetDeviceRegistryPropertyW(SPDRP_UPPERFILTERS)");
  }
  if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) return Fail("SetupDiRegisterDeviceInfo");
  std::printf("created %ls\n", instanceId);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && argc <= 5 && std::wstring(argv[1]) == L"create") {
    return Create(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  }
  std::printf("usage: mkdevice.exe create <instance ID> <hardware IDs> [<upper filters>]\n");
  return 2;
}
