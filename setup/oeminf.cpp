// Deletion of the OEM INF files (and their PNF twins) that Windows made from
// a driver package's INF file.
#include <string>
#include <string_view>
#include <vector>

#include "common/wstr.h"
#include "setup/setupapi.h"
#include "setup/trace.h"
#include "setup/utilities.h"

namespace SetupApi {

namespace {

// Deletes one file; a file that is already gone is no error.
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

}  // namespace

void OemInfFilesDelete(std::u16string infName) {
  TracePrint(TRACE_SETUPAPI | TRACE_FUNCTION, u"SetupApi::OemInfFilesDelete\n");

  std::vector<std::u16string> list;
  Utilities::GetOemInfFilePathNamesList(list);  // its failures are traced there; the entries found count
  for (const std::u16string& entry : list) {
    TracePrint(TRACE_SETUPAPI, u"SetupApi::OemInfFilesDelete enumerating %s \n", entry);

    // The INF's information, in a buffer suitably aligned for the structure.
    alignas(win::SP_INF_INFORMATION) win::BYTE buffer[4096] = {};
    auto* information = reinterpret_cast<win::SP_INF_INFORMATION*>(buffer);
    if (!win::SetupGetInfInformationW(entry.c_str(), win::INFINFO_INF_NAME_IS_ABSOLUTE, information, sizeof buffer,
                                      nullptr)) {
      TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile SetupGetInfInformationW error: %d\n", win::GetLastError());
      continue;
    }
    win::SP_ORIGINAL_FILE_INFO_W original{};
    original.cbSize = sizeof original;
    if (!win::SetupQueryInfOriginalFileInformationW(information, 0, nullptr, &original)) {
      TracePrint(TRACE_ERROR, u"SetupApi::DeleteOemInfFile SetupQueryInfOriginalFileInformation error: %d\n",
                 win::GetLastError());
      continue;
    }

    // The original INF name must be `infName`, only A-Z folded: a mere
    // prefix ("oem9" of "oem90.inf") would take other vendors' files.
    std::u16string_view originalName(original.OriginalInfName,
                                     wstr::BoundedLength(original.OriginalInfName, win::MAX_PATH));
    if (!wstr::EqualsAsciiNoCase(originalName, infName)) continue;

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
