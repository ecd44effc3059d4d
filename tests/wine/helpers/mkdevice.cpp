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
#include <vector>

namespace {

const GUID kMouseClass = {0x4D36E96F, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// "a;b" as the REG_MULTI_SZ bytes "a\0b\0\0".
std::vector<wchar_t> MultiString(const wchar_t* list) {
  std::vector<wchar_t> out;
  for (const wchar_t* p = list; *p; ++p) out.push_back(*p == L';' ? L'\0' : *p);
  out.push_back(L'\0');
  out.push_back(L'\0');
  return out;
}

int Fail(const char* what) {
  std::printf("%s failed: %lu\n", what, GetLastError());
  return 1;
}

int Create(const wchar_t* instanceId, const wchar_t* hardwareIds, const wchar_t* upperFilters) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  int result = 0;
  if (!SetupDiCreateDeviceInfoW(set, instanceId, &kMouseClass, nullptr, nullptr, 0, &device)) {
    result = Fail("SetupDiCreateDeviceInfoW");
  }
  if (result == 0) {
    auto ids = MultiString(hardwareIds);
    if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, reinterpret_cast<BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size() * sizeof(wchar_t)))) {
      result = Fail("SetupDiSetDeviceRegistryPropertyW(SPDRP_HARDWAREID)");
    }
  }
  if (result == 0 && upperFilters != nullptr) {
    auto filters = MultiString(upperFilters);
    if (!SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_UPPERFILTERS, reinterpret_cast<BYTE*>(filters.data()),
                                           static_cast<DWORD>(filters.size() * sizeof(wchar_t)))) {
      result = Fail("SetupDiSetDeviceRegistryPropertyW(SPDRP_UPPERFILTERS)");
    }
  }
  if (result == 0 && !SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) {
    result = Fail("SetupDiRegisterDeviceInfo");
  }
  if (result == 0) std::printf("created %ls\n", instanceId);
  SetupDiDestroyDeviceInfoList(set);
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && argc <= 5 && std::wstring(argv[1]) == L"create") {
    return Create(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
  }
  std::printf("usage: mkdevice.exe create <instance ID> <hardware IDs> [<upper filters>]\n");
  return 2;
}
