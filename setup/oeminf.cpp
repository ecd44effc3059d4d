// The OEM INF files that Windows made from a driver package's INF file: their
// packages taken out of the driver store, and the files deleted with their
// PNF twins.
#include "setup/oeminf.h"

#include <string>
#include <vector>

#include "common/wstr.h"
#include "setup/trace.h"
#include "setup/utilities.h"

namespace SetupApi {

namespace {

// Deletes one file; a file that is already gone is no error.
// "SetupApi::DeleteOemInfFile ...": the log's name for the deletion steps of SetupApi::OemInfFilesDelete.
void DeleteOne(const std::u16string& path, bool pnf) {
  if (win::DeleteFileW(path.c_str())) return;
  win::DWORD error = win::GetLastError();
  if (error == win::ERROR_FILE_NOT_FOUND) return;
  if (pnf) {
    TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile DeleteFile PNF error: %d\n", error);
  } else {
    TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile DeleteFile INF error: %d\n", error);
  }
}

constexpr char kGetInfInformation[] = "SetupGetInfInformationW";
constexpr char kQueryOriginal[] = "SetupQueryInfOriginalFileInformationW";

// What Windows recorded about an OEM INF file's origin.
struct OriginalInf {
  std::u16string name;               // the original INF name, when no call failed
  const char* failedCall = nullptr;  // kGetInfInformation or kQueryOriginal
  win::DWORD error = 0;              // its error
};

// The name that the OEM INF file `path` had before Windows copied it into
// the INF directory. Nothing is traced: each walk words its own failures.
OriginalInf QueryOriginalInf(const std::u16string& path) {
  // The INF's information, in a buffer suitably aligned for the structure.
  alignas(win::SP_INF_INFORMATION) win::BYTE buffer[4096] = {};
  auto* information = reinterpret_cast<win::SP_INF_INFORMATION*>(buffer);
  if (!win::SetupGetInfInformationW(path.c_str(), win::INFINFO_INF_NAME_IS_ABSOLUTE, information, sizeof buffer,
                                    nullptr)) {
    return {{}, kGetInfInformation, win::GetLastError()};
  }
  win::SP_ORIGINAL_FILE_INFO_W original{};
  original.cbSize = sizeof original;
  if (!win::SetupQueryInfOriginalFileInformationW(information, 0, nullptr, &original)) {
    return {{}, kQueryOriginal, win::GetLastError()};
  }
  return {std::u16string(original.OriginalInfName, wstr::BoundedLength(original.OriginalInfName, win::MAX_PATH))};
}

}  // namespace

void OemInfPackagesUninstall(std::u16string infName) {
  TracePrint(TRACE_SETUPAPI | TRACE_FUNCTION, u"SetupApi::OemInfPackagesUninstall\n");

  std::vector<std::u16string> list;
  Utilities::GetOemInfFilePathNamesList(list);  // its failures are traced there; the entries found count
  for (const std::u16string& entry : list) {
    OriginalInf original = QueryOriginalInf(entry);
    if (original.failedCall != nullptr) {
      TracePrint(TRACE_ERROR, u"SetupApi::OemInfPackagesUninstall %S failed %d\n", original.failedCall, original.error);
      continue;
    }
    if (!wstr::EqualsAsciiNoCase(original.name, infName)) continue;
    // The call takes the OEM INF file's name alone, without its directory.
    std::u16string name(Utilities::FileNameOf(entry));
    TracePrint(TRACE_SETUPAPI, u"SetupApi::OemInfPackagesUninstall uninstalling %s\n", name);
    // Forced: a device installed from the package keeps it in the store
    // otherwise, and nothing could find it there after its INF is gone.
    if (!win::SetupUninstallOEMInfW(name.c_str(), win::SUOI_FORCEDELETE, nullptr)) {
      TracePrint(TRACE_ERROR, u"SetupApi::OemInfPackagesUninstall SetupUninstallOEMInfW failed %d\n",
                 win::GetLastError());
    }
  }
}

void OemInfFilesDelete(std::u16string infName) {
  TracePrint(TRACE_SETUPAPI | TRACE_FUNCTION, u"SetupApi::OemInfFilesDelete\n");

  std::vector<std::u16string> list;
  Utilities::GetOemInfFilePathNamesList(list);  // its failures are traced there; the entries found count
  for (const std::u16string& entry : list) {
    TracePrint(TRACE_SETUPAPI, u"SetupApi::OemInfFilesDelete enumerating %s \n", entry);

    OriginalInf original = QueryOriginalInf(entry);
    if (original.failedCall == kGetInfInformation) {
      TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile SetupGetInfInformationW error: %d\n", original.error);
      continue;
    }
    if (original.failedCall == kQueryOriginal) {
      TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile SetupQueryInfOriginalFileInformation error: %d\n",
                 original.error);
      continue;
    }

    // The original INF name must be `infName`, only A-Z folded: a mere
    // prefix ("oem9" of "oem90.inf") would take other vendors' files.
    if (!wstr::EqualsAsciiNoCase(original.name, infName)) continue;

    DeleteOne(entry, false);
    // The PNF file beside it: ".inf" becomes ".Pnf" (names compare without
    // case). Deleted whether or not the INF file could be.
    if (entry.size() >= 3) {
      std::u16string pnf = entry;
      pnf[pnf.size() - 3] = u'P';
      DeleteOne(pnf, true);
    }
  }
}

}  // namespace SetupApi
