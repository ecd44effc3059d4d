// Files: the file system, the calls on open files and directory searches, and
// shlwapi's path functions.
#include <cstring>

#include "sim/machine.h"

namespace sim {

std::u16string FileSystem::Resolve(std::u16string_view name, std::u16string_view currentDirectory) {
  if ((name.size() >= 2 && name[1] == u':') || name.starts_with(u'\\')) return std::u16string(name);
  std::u16string full(currentDirectory);
  if (!full.empty() && full.back() != u'\\') full.push_back(u'\\');
  return full.append(name);
}

std::u16string FileSystem::DirectoryOf(std::u16string_view path) {
  auto pos = path.rfind(u'\\');
  return std::u16string(pos == std::u16string_view::npos ? std::u16string_view() : path.substr(0, pos));
}

std::u16string FileSystem::NameOf(std::u16string_view path) {
  return std::u16string(path.substr(path.rfind(u'\\') + 1));
}

File* FileSystem::Find(std::u16string_view fullPath) { return FindNamed(files, fullPath, &File::path); }

File& FileSystem::Put(std::u16string_view fullPath, std::string data) {
  File* f = Find(fullPath);
  if (f == nullptr) f = &files.emplace_back(File{.path = std::u16string(fullPath)});
  f->data = std::move(data);
  return *f;
}

bool FileSystem::Remove(std::u16string_view fullPath) {
  return std::erase_if(files, [&](File& f) { return wstr::EqualsAsciiNoCase(f.path, fullPath); }) != 0;
}

std::vector<std::u16string> FileSystem::List(std::u16string_view directory, std::u16string_view pattern) {
  auto star = pattern.find(u'*');
  if (star == std::u16string_view::npos || pattern.find_first_of(u"*?", star + 1) != std::u16string_view::npos) {
    Unmodelled("a directory search", "another pattern than one with a single \"*\"");
  }
  std::u16string prefix = wstr::AsciiLowered(pattern.substr(0, star)),
                 suffix = wstr::AsciiLowered(pattern.substr(star + 1));
  std::vector<std::u16string> out;
  for (File& f : files) {
    std::u16string name = NameOf(f.path), folded = wstr::AsciiLowered(name);
    bool matches =
        folded.size() >= prefix.size() + suffix.size() && folded.starts_with(prefix) && folded.ends_with(suffix);
    if (matches && wstr::EqualsAsciiNoCase(DirectoryOf(f.path), directory)) out.push_back(name);
  }
  return out;
}

bool FileSystem::IsWritableDirectory(std::u16string_view directory) const {
  return FindNamed(unwritableDirectories, directory) == nullptr;
}

std::pair<File*, Machine::Internal::OpenFile*> Machine::FileOf(win::HANDLE h) {
  auto it = internal.openFiles.find(h);
  File* f = it == internal.openFiles.end() ? nullptr : fs.Find(it->second.path);
  if (f == nullptr) return SetError(win::ERROR_INVALID_HANDLE), std::pair(nullptr, nullptr);
  return {f, &it->second};
}

}  // namespace sim

namespace win {

using sim::SetError;

// The programs open their log file by its name, as itself, for writing.
HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, SECURITY_ATTRIBUTES*, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE) {
  SIM_CALL(INVALID_HANDLE_VALUE,
           dwCreationDisposition == OPEN_ALWAYS && (dwDesiredAccess & GENERIC_WRITE) != 0 &&
               (dwFlagsAndAttributes & (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS)) ==
                   FILE_FLAG_OPEN_REPARSE_POINT,
           "an open other than OPEN_ALWAYS for writing of the name itself");
  std::u16string path = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  sim::File* f = m.fs.Find(path);
  // A directory opens only with FILE_FLAG_BACKUP_SEMANTICS.
  if ((f != nullptr && (f->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
      !m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(path))) {
    return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  }
  SetError(f != nullptr ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);  // as OPEN_ALWAYS reports it
  if (f == nullptr) f = &m.fs.Put(path);
  HANDLE h = m.handles.Open(sim::HandleKind::File);
  m.internal.openFiles[h] = {f->path, 0};
  return h;
}

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
  SIM_CALL(FALSE);
  sim::File* f = m.FileOf(hFile).first;
  if (f == nullptr) return FALSE;
  *lpFileInformation = BY_HANDLE_FILE_INFORMATION{};
  lpFileInformation->dwFileAttributes = f->attributes != 0 ? f->attributes : FILE_ATTRIBUTE_NORMAL;
  lpFileInformation->nFileSizeLow = static_cast<DWORD>(f->data.size());
  lpFileInformation->nNumberOfLinks = f->links;
  return TRUE;
}

// A lock covers the whole file; a second one, by any handle, fails at once.
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD, DWORD, OVERLAPPED*) {
  SIM_CALL(FALSE, dwFlags == (LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY), "a shared or waiting lock");
  sim::File* f = m.FileOf(hFile).first;
  if (f == nullptr) return FALSE;
  if (!m.fileLocks.try_emplace(wstr::AsciiLowered(f->path), hFile).second) return SetError(ERROR_LOCK_VIOLATION), FALSE;
  return TRUE;
}

BOOL UnlockFileEx(HANDLE hFile, DWORD, DWORD, DWORD, OVERLAPPED*) {
  SIM_CALL(FALSE);
  bool held = std::erase_if(m.fileLocks, [hFile](const auto& l) { return l.second == hFile; }) != 0;
  return held ? TRUE : (SetError(158 /* ERROR_NOT_LOCKED */), FALSE);
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, LARGE_INTEGER* lpNewFilePointer,
                      DWORD dwMoveMethod) {
  SIM_CALL(FALSE, dwMoveMethod == FILE_END && liDistanceToMove.QuadPart == 0 && lpNewFilePointer == nullptr,
           "a move other than to the end");
  auto [f, open] = m.FileOf(hFile);
  if (f == nullptr) return FALSE;
  open->position = f->data.size();
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, DWORD* lpNumberOfBytesWritten,
               OVERLAPPED*) {
  *lpNumberOfBytesWritten = 0;
  SIM_CALL(FALSE);
  auto [f, open] = m.FileOf(hFile);
  if (f == nullptr) return FALSE;
  // Into a file another handle has locked, a write fails, as on Windows (Wine 8 lets it through).
  auto held = m.fileLocks.find(wstr::AsciiLowered(f->path));
  if (held != m.fileLocks.end() && held->second != hFile) return SetError(ERROR_LOCK_VIOLATION), FALSE;
  auto at = static_cast<std::size_t>(open->position);
  f->data.resize(std::max<std::size_t>(f->data.size(), at + nNumberOfBytesToWrite));
  std::memcpy(f->data.data() + at, lpBuffer, nNumberOfBytesToWrite);
  open->position += nNumberOfBytesToWrite;
  *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

// Files here; events and processes in the service area.
BOOL CloseHandle(HANDLE hObject) {
  SIM_CALL(FALSE);
  if (m.internal.openFiles.erase(hObject) != 0) {
    std::erase_if(m.fileLocks, [hObject](const auto& l) { return l.second == hObject; });
    return m.handles.Close(hObject, sim::HandleKind::File);
  }
  return m.services.Close(hObject) ? TRUE : (SetError(ERROR_INVALID_HANDLE), FALSE);
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  SIM_CALL(FALSE);
  sim::File* f = m.fs.Find(sim::FileSystem::Resolve(lpFileName, m.currentDirectory));
  if (f == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (f->deleteError != 0) return SetError(f->deleteError), FALSE;
  if (!m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(f->path))) return SetError(ERROR_ACCESS_DENIED), FALSE;
  return m.fs.Remove(f->path);
}

// Hands out the next name of a search, as a plain file.
static BOOL NextFound(std::vector<std::u16string>& names, WIN32_FIND_DATAW* data) {
  if (names.empty()) return SetError(ERROR_NO_MORE_FILES), FALSE;
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  wstr::CopyToBuffer(data->cFileName, MAX_PATH, names.front());
  names.erase(names.begin());
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  SIM_CALL(INVALID_HANDLE_VALUE);
  std::u16string pattern = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  auto names = m.fs.List(sim::FileSystem::DirectoryOf(pattern), sim::FileSystem::NameOf(pattern));
  if (names.empty()) return SetError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  NextFound(names, lpFindFileData);
  HANDLE h = m.handles.Open(sim::HandleKind::Find);
  m.internal.searches[h] = std::move(names);
  return h;
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  SIM_CALL(FALSE);
  auto it = m.internal.searches.find(hFindFile);
  if (it == m.internal.searches.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return NextFound(it->second, lpFindFileData);
}

BOOL FindClose(HANDLE hFindFile) {
  SIM_CALL(FALSE);
  if (m.internal.searches.erase(hFindFile) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return m.handles.Close(hFindFile, sim::HandleKind::Find);
}

// The programs remove the file name from their own module's full path.
BOOL PathRemoveFileSpecW(LPWSTR pszPath) {
  SIM_CALL(FALSE);
  std::u16string_view path(pszPath);
  SIM_ONLY(path.size() >= 3 && path.substr(1, 2) == u":\\", "a path without a drive and root");
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
  while (more.starts_with(u'\\')) more.remove_prefix(1);
  if (!result.empty() && result.back() != u'\\' && !more.empty()) result.push_back(u'\\');
  result.append(more);
  if (result.size() >= MAX_PATH) return SetError(ERROR_FILENAME_EXCED_RANGE), FALSE;
  wstr::CopyToBuffer(pszPath, MAX_PATH, result);
  return TRUE;
}

}  // namespace win
