// Files: the file system, the calls on open files and directory searches, and
// shlwapi's path functions.
#include <cstring>

#include "common/wstr.h"
#include "sim/machine.h"

namespace sim {
namespace {

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == u'*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (WildcardMatch(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (pattern[0] != u'?' && wstr::AsciiLower(pattern[0]) != wstr::AsciiLower(name[0])) return false;
  return WildcardMatch(pattern.substr(1), name.substr(1));
}

}  // namespace

std::u16string FileSystem::Resolve(std::u16string_view name, std::u16string_view currentDirectory) {
  bool absolute = (name.size() >= 2 && name[1] == u':') || (!name.empty() && name[0] == u'\\');
  if (absolute) return std::u16string(name);
  std::u16string full(currentDirectory);
  if (!full.empty() && full.back() != u'\\') full.push_back(u'\\');
  return full.append(name);
}

std::u16string FileSystem::DirectoryOf(std::u16string_view path) {
  auto pos = path.rfind(u'\\');
  return pos == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, pos));
}

std::u16string FileSystem::NameOf(std::u16string_view path) {
  return std::u16string(path.substr(path.rfind(u'\\') + 1));
}

File* FileSystem::Find(std::u16string_view fullPath) {
  auto it =
      std::find_if(files.begin(), files.end(), [&](File& f) { return wstr::EqualsAsciiNoCase(f.path, fullPath); });
  return it == files.end() ? nullptr : &*it;
}

File& FileSystem::Put(std::u16string_view fullPath, std::string data) {
  File* f = Find(fullPath);
  if (f == nullptr) {
    f = &files.emplace_back();
    f->path = fullPath;
  }
  f->data = std::move(data);
  return *f;
}

bool FileSystem::Remove(std::u16string_view fullPath) {
  return std::erase_if(files, [&](File& f) { return wstr::EqualsAsciiNoCase(f.path, fullPath); }) != 0;
}

std::vector<File*> FileSystem::List(std::u16string_view directory, std::u16string_view pattern) {
  std::vector<File*> out;
  for (File& f : files) {
    if (wstr::EqualsAsciiNoCase(DirectoryOf(f.path), directory) && WildcardMatch(pattern, NameOf(f.path))) {
      out.push_back(&f);
    }
  }
  return out;
}

bool FileSystem::IsWritableDirectory(std::u16string_view directory) const {
  return std::none_of(unwritableDirectories.begin(), unwritableDirectories.end(),
                      [&](const std::u16string& d) { return wstr::EqualsAsciiNoCase(d, directory); });
}

}  // namespace sim

namespace win {

using sim::M;
using sim::SetError;

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, SECURITY_ATTRIBUTES*, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE) {
  SIM_CALL(INVALID_HANDLE_VALUE);
  if (dwCreationDisposition != OPEN_ALWAYS || (dwDesiredAccess & GENERIC_WRITE) == 0 ||
      (dwFlagsAndAttributes & (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS)) !=
          FILE_FLAG_OPEN_REPARSE_POINT) {
    sim::Unmodelled(__func__, "an open other than OPEN_ALWAYS for writing of the name itself");
  }
  auto& m = M();
  std::u16string path = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  sim::File* f = m.fs.Find(path);
  // A directory opens only with FILE_FLAG_BACKUP_SEMANTICS.
  if (f != nullptr && (f->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  }
  if (!m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(path))) {
    return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  }
  // OPEN_ALWAYS reports whether the file was there already.
  SetError(f != nullptr ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  if (f == nullptr) f = &m.fs.Put(path);
  HANDLE h = m.handles.Open(sim::HandleKind::File);
  m.internal.openFiles[h] = {f->path, 0};
  return h;
}

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
  SIM_CALL(FALSE);
  auto it = M().internal.openFiles.find(hFile);
  sim::File* f = it == M().internal.openFiles.end() ? nullptr : M().fs.Find(it->second.path);
  if (f == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  *lpFileInformation = BY_HANDLE_FILE_INFORMATION{};
  lpFileInformation->dwFileAttributes = f->attributes != 0 ? f->attributes : FILE_ATTRIBUTE_NORMAL;
  lpFileInformation->nFileSizeLow = static_cast<DWORD>(f->data.size());
  lpFileInformation->nNumberOfLinks = f->links;
  return TRUE;
}

// A file's lock covers the whole file; a second one, by any handle, fails at once.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD, DWORD, OVERLAPPED*) {
  SIM_CALL(FALSE);
  if (dwFlags != (LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY)) {
    sim::Unmodelled(__func__, "a shared lock or a wait for a lock");
  }
  auto& m = M();
  auto it = m.internal.openFiles.find(hFile);
  if (it == m.internal.openFiles.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  bool locked = m.fileLocks.try_emplace(wstr::AsciiLowered(it->second.path), hFile).second;
  return locked ? TRUE : (SetError(ERROR_LOCK_VIOLATION), FALSE);
}

BOOL UnlockFileEx(HANDLE hFile, DWORD, DWORD, DWORD, OVERLAPPED*) {
  SIM_CALL(FALSE);
  if (std::erase_if(M().fileLocks, [hFile](const auto& l) { return l.second == hFile; }) == 0) {
    return SetError(158 /* ERROR_NOT_LOCKED */), FALSE;
  }
  return TRUE;
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, LARGE_INTEGER* lpNewFilePointer,
                      DWORD dwMoveMethod) {
  SIM_CALL(FALSE);
  if (dwMoveMethod != FILE_END || liDistanceToMove.QuadPart != 0 || lpNewFilePointer != nullptr) {
    sim::Unmodelled(__func__, "a move other than to the end");
  }
  auto it = M().internal.openFiles.find(hFile);
  sim::File* f = it == M().internal.openFiles.end() ? nullptr : M().fs.Find(it->second.path);
  if (f == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  it->second.position = f->data.size();
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, DWORD* lpNumberOfBytesWritten,
               OVERLAPPED*) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  SIM_CALL(FALSE);
  auto& m = M();
  auto it = m.internal.openFiles.find(hFile);
  sim::File* f = it == m.internal.openFiles.end() ? nullptr : m.fs.Find(it->second.path);
  if (f == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  auto held = m.fileLocks.find(wstr::AsciiLowered(f->path));
  if (held != m.fileLocks.end() && held->second != hFile) return SetError(ERROR_LOCK_VIOLATION), FALSE;
  auto pos = static_cast<std::size_t>(it->second.position);
  if (f->data.size() < pos + nNumberOfBytesToWrite) f->data.resize(pos + nNumberOfBytesToWrite);
  std::memcpy(f->data.data() + pos, lpBuffer, nNumberOfBytesToWrite);
  it->second.position += nNumberOfBytesToWrite;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

// Files here; events and processes in the service area.
BOOL CloseHandle(HANDLE hObject) {
  SIM_CALL(FALSE);
  auto& m = M();
  if (m.internal.openFiles.erase(hObject) != 0) {
    std::erase_if(m.fileLocks, [hObject](const auto& l) { return l.second == hObject; });
    m.handles.Close(hObject, sim::HandleKind::File);
    return TRUE;
  }
  return m.services.Close(hObject) ? TRUE : (SetError(ERROR_INVALID_HANDLE), FALSE);
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  SIM_CALL(FALSE);
  auto& m = M();
  std::u16string path = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  sim::File* f = m.fs.Find(path);
  if (f == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (f->deleteError != 0) return SetError(f->deleteError), FALSE;
  if (!m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(f->path))) return SetError(ERROR_ACCESS_DENIED), FALSE;
  m.fs.Remove(path);
  return TRUE;
}

namespace {

// Hands out the next name of the search `names`, as a plain file.
BOOL NextFound(std::vector<std::u16string>& names, WIN32_FIND_DATAW* data) {
  if (names.empty()) return SetError(ERROR_NO_MORE_FILES), FALSE;
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  wstr::CopyToBuffer(data->cFileName, MAX_PATH, names.front());
  names.erase(names.begin());
  return TRUE;
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  SIM_CALL(INVALID_HANDLE_VALUE);
  auto& m = M();
  std::u16string pattern = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  std::vector<std::u16string> names;
  for (sim::File* f : m.fs.List(sim::FileSystem::DirectoryOf(pattern), sim::FileSystem::NameOf(pattern))) {
    names.push_back(sim::FileSystem::NameOf(f->path));
  }
  if (names.empty()) return SetError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  NextFound(names, lpFindFileData);
  HANDLE h = m.handles.Open(sim::HandleKind::Find);
  m.internal.searches[h] = std::move(names);
  return h;
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  SIM_CALL(FALSE);
  auto it = M().internal.searches.find(hFindFile);
  if (it == M().internal.searches.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return NextFound(it->second, lpFindFileData);
}

BOOL FindClose(HANDLE hFindFile) {
  SIM_CALL(FALSE);
  if (M().internal.searches.erase(hFindFile) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  M().handles.Close(hFindFile, sim::HandleKind::Find);
  return TRUE;
}

// The programs remove the file name from their own module's full path.
BOOL PathRemoveFileSpecW(LPWSTR pszPath) {
  SIM_CALL(FALSE);
  std::u16string_view path(pszPath);
  if (path.size() < 3 || path.substr(1, 2) != u":\\") sim::Unmodelled(__func__, "a path without a drive and root");
  // The cut is at the last backslash, but the root's stays ("C:\a" gives "C:\").
  std::size_t cut = std::max(path.rfind(u'\\'), std::size_t{3});
  if (cut >= path.size()) return FALSE;  // nothing to remove
  pszPath[cut] = 0;
  return TRUE;
}

BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore) {
  SIM_CALL(FALSE);
  std::u16string result(pszPath);
  std::u16string_view more(pszMore);
  while (!more.empty() && more[0] == u'\\') more.remove_prefix(1);
  if (!result.empty() && result.back() != u'\\' && !more.empty()) result.push_back(u'\\');
  result.append(more);
  if (result.size() >= MAX_PATH) return SetError(ERROR_FILENAME_EXCED_RANGE), FALSE;
  wstr::CopyToBuffer(pszPath, MAX_PATH, result);
  return TRUE;
}

}  // namespace win
