#include "setup/trace.h"

#include "common/debugline.h"
#include "win/handle.h"

TraceLevel TraceMask = 0;

void TraceMaskInit() { TraceMask |= TRACE_DEFAULT_MASK; }

std::string LogEncode(std::u16string_view message) {
  std::string out;
  out.reserve(message.size() + 8);
  for (char16_t c : message) {
    if (c == u'\n') {
      out += "\r\n";
    } else {
      out.push_back(c < 256 ? static_cast<char>(c) : '?');
    }
  }
  return out;
}

namespace {

// A program that holds the log file may cost a run a short wait, never more:
// one message tries the open and the lock kLogAttempts times each, kLogStepMs
// apart, and the whole run waits for the file kLogRunWaitMs at most. A user
// who can read the file can hold it (a service's run writes its log where
// users can read it), and whoever started the run waits for it.
constexpr int kLogAttempts = 20;
constexpr win::DWORD kLogStepMs = 25;
constexpr win::DWORD kLogRunWaitMs = 1000;

// This run's log: once it has failed (no plain file to be had), the run's
// later messages skip it. A file held elsewhere is tried by every message,
// without waiting once the run's wait is spent: a short hold loses only the
// messages written during it.
bool logFailed = false;
win::DWORD logWaitedMs = 0;

// One step of waiting for the log file; false when the run's wait is spent.
bool LogWaitStep() {
  if (logWaitedMs + kLogStepMs > kLogRunWaitMs) return false;
  logWaitedMs += kLogStepMs;
  win::Sleep(kLogStepMs);
  return true;
}

// Makes `attempt` until it succeeds or fails for another reason than the
// file being held elsewhere (it returns false), at most kLogAttempts times
// within the run's wait. True when the file was still held at the end.
template <class Attempt>
bool UntilNotHeld(Attempt attempt) {
  for (int tries = 0; tries < kLogAttempts; ++tries) {
    if (tries > 0 && !LogWaitStep()) return true;
    if (!attempt()) return false;
  }
  return true;
}

// True when the open handle is a plain file of its own: not a directory, not
// a link (a reparse point, or a hard link that gives another file this name).
bool IsPlainFile(win::HANDLE file) {
  win::BY_HANDLE_FILE_INFORMATION info{};
  if (!win::GetFileInformationByHandle(file, &info)) return false;
  constexpr win::DWORD kNotPlain = win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT;
  return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1;
}

// Appends the whole message at the end of the log file. Several processes may
// trace into the same file at once, so the end is found and the message
// written under an exclusive lock on the file. A lock that cannot be had in
// time does not lose the message: it is written all the same. A log file that
// cannot be opened, or is no plain file, is skipped without a word.
void LogAppend(std::u16string_view message) {
  using namespace win;
  if (logFailed) return;
  // Another program that holds the file without sharing it (a virus scanner
  // looking at a new file, for instance) lets go of it within moments. The
  // name is opened as itself: a link is not followed.
  UniqueFile file;
  bool held = UntilNotHeld([&] {
    file.Reset(CreateFileW(kLogFileName, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return !file && GetLastError() == ERROR_SHARING_VIOLATION;
  });
  if (!file || !IsPlainFile(file.Get())) {
    logFailed = !held;
    return;
  }
  std::string bytes = LogEncode(message);
  OVERLAPPED whole{};
  BOOL locked = FALSE;
  // Whoever holds the lock this long may hold it for good; the message is
  // written all the same.
  UntilNotHeld([&] {
    locked =
        LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 0xFFFFFFFF, 0xFFFFFFFF, &whole);
    return !locked && GetLastError() == ERROR_LOCK_VIOLATION;
  });
  LARGE_INTEGER zero{};
  if (SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      DWORD written = 0;
      DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
      if (!WriteFile(file.Get(), p, chunk, &written, nullptr) || written == 0) break;
      p += written;
      left -= written;
    }
  }
  if (locked) {
    OVERLAPPED again{};
    UnlockFileEx(file.Get(), 0, 0xFFFFFFFF, 0xFFFFFFFF, &again);
  }
}

}  // namespace

void TraceLogReset() {
  logFailed = false;
  logWaitedMs = 0;
}

void TraceWrite(TraceLevel level, std::u16string_view message) {
  // A trace between a failed call and the caller's GetLastError() must not
  // change what the caller reads.
  win::DWORD callersError = win::GetLastError();
  LogAppend(message);
  win::SetLastError(callersError);
  if ((level & TraceMask) == 0) return;
  // The message is cut to what its buffer holds.
  WriteDebugLine(u"RVSET: ", message, kDebugBufferChars - 1);
  win::SetLastError(callersError);
}

std::u16string ErrorCodeText(std::uint32_t code) {
  std::u16string result = text::Format(u"%ld", code);
  win::WCHAR message[1024] = {};
  win::DWORD length = win::FormatMessageW(win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                          code, 0x0400, message, 1024, nullptr);
  if (length == 0) return result;
  result += u" (";
  result.append(message, length < 1024 ? length : 1023);
  result += u")";
  // A system message ends in CR LF: drop the first line feed, then the first
  // carriage return, so that the text is one line.
  if (auto lf = result.find(u'\n'); lf != std::u16string::npos) result.erase(lf, 1);
  if (auto cr = result.find(u'\r'); cr != std::u16string::npos) result.erase(cr, 1);
  return result;
}

void TraceErrorName(TraceLevel level, std::uint32_t code) {
  // Each name is the constant's own, spelt once.
#define TOV_NAMED(name) \
  { win::name, u"" #name "\n" }
  static constexpr struct {
    win::DWORD code;
    const char16_t* name;
  } kNames[] = {
      TOV_NAMED(ERROR_FILE_NOT_FOUND),   TOV_NAMED(ERROR_ACCESS_DENIED),        TOV_NAMED(ERROR_BAD_ENVIRONMENT),
      TOV_NAMED(ERROR_OUTOFMEMORY),      TOV_NAMED(ERROR_INVALID_PARAMETER),    TOV_NAMED(ERROR_INSUFFICIENT_BUFFER),
      TOV_NAMED(ERROR_INVALID_NAME),     TOV_NAMED(ERROR_FILENAME_EXCED_RANGE), TOV_NAMED(ERROR_UNSUPPORTED_TYPE),
      TOV_NAMED(ERROR_CANT_ACCESS_FILE), TOV_NAMED(CRYPT_E_FILE_ERROR),         TOV_NAMED(ERROR_IN_WOW64),
  };
#undef TOV_NAMED
  const char16_t* name = u"<Unknown Error>\n";
  for (const auto& n : kNames) {
    if (n.code == code) name = n.name;
  }
  TracePrint(level, u"%s", name);
}
