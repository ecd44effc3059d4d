#include "setup/trace.h"

#include <optional>

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

// Several runs of the tool may trace into the same log file at once (the
// installer's and the service's), each message under an exclusive lock on the
// whole file, so that it lands at the end, whole. Writers of the log take
// turns at the lock, one message each, which lasts milliseconds: a run waits
// its turn for nothing but the lock going round, however long that takes.
//
// Another program may hold the file: one that opened it without sharing it (a
// virus scanner looking at a new file, for instance), or one that locks it.
// A user who can read the file can hold it (a service's run writes its log
// where users can read it), and whoever started the run waits for it, so such
// a hold costs a run kLogRunWaitMs at most in all. Once that is spent, each
// later message tries the file once, without waiting: a short hold loses only
// the messages written during it. A refused open is always such a hold; a
// lock is taken to be one when it stays taken for kLogTurnMs while the file's
// end stands still (while writers take turns, it moves), and then all of
// that wait counts. Every kLogStepMs the file is tried again: a lock wait
// that the system ends itself (an overlapped LockFileEx with an event) is no
// choice, as Wine 8 answers it "pending" and never grants the lock.
constexpr win::DWORD kLogStepMs = 1;
constexpr win::ULONGLONG kLogTurnMs = 100;
constexpr win::ULONGLONG kLogRunWaitMs = 1000;
// Turns cost a run nothing, but one message waits for them this long at most.
constexpr win::ULONGLONG kLogMessageWaitMs = 10000;

// This run's log: once it has failed (no plain file to be had, or no lock on
// it), the run's later messages skip it.
bool logFailed = false;
// What this run has waited for the log file held by another program.
win::ULONGLONG logWaitedMs = 0;
// The file's end when its lock was last found held by another program; none
// once the lock has been had, or has gone round among writers.
std::optional<win::ULONGLONG> logHeldAt;

// Charges the run with the wait for another program's hold from `since` until
// now, then waits one step; false when the run's wait is spent.
bool WaitForHolder(win::ULONGLONG& since) {
  win::ULONGLONG now = win::GetTickCount64();
  logWaitedMs += now - since;
  since = now;
  if (logWaitedMs >= kLogRunWaitMs) return false;
  win::Sleep(kLogStepMs);
  return true;
}

// Where the open file ends now (an end that cannot be read reads as still).
win::ULONGLONG FileEnd(win::HANDLE file, win::ULONGLONG last) {
  win::BY_HANDLE_FILE_INFORMATION info{};
  if (!win::GetFileInformationByHandle(file, &info)) return last;
  return (win::ULONGLONG{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}

// The exclusive lock on the whole file, let go when it goes out of scope.
class WholeFileLock {
 public:
  // Waits for the lock as told above. Held() says whether it came; when it
  // did not, Lockable() says whether that was for the lock being held.
  explicit WholeFileLock(win::HANDLE file) : file_(file) {
    using namespace win;
    ULONGLONG end = FileEnd(file, 0), start = GetTickCount64(), since = start;
    if (logHeldAt != end) logHeldAt.reset();
    for (;;) {
      OVERLAPPED whole{};
      held_ =
          LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) != FALSE;
      if (held_) logHeldAt.reset();
      if (held_ || GetLastError() != ERROR_LOCK_VIOLATION) {
        lockable_ = held_;
        return;
      }
      ULONGLONG at = FileEnd(file, end), now = GetTickCount64();
      if (at != end) {
        end = at;
        since = now;
        logHeldAt.reset();
      } else if (now - since >= kLogTurnMs) {
        logHeldAt = end;
      }
      if (logHeldAt) {
        if (!WaitForHolder(since)) return;
      } else if (now - start >= kLogMessageWaitMs) {
        return;  // a file that grows while its lock stays taken: no writer of ours
      } else {
        Sleep(kLogStepMs);
      }
    }
  }
  ~WholeFileLock() {
    win::OVERLAPPED whole{};
    if (held_) win::UnlockFileEx(file_, 0, win::MAXDWORD, win::MAXDWORD, &whole);
  }
  WholeFileLock(const WholeFileLock&) = delete;
  WholeFileLock& operator=(const WholeFileLock&) = delete;

  bool Held() const { return held_; }
  bool Lockable() const { return lockable_; }

 private:
  win::HANDLE file_;
  bool held_ = false;
  bool lockable_ = true;
};

// True when the open handle is a plain file of its own: not a directory, not
// a link (a reparse point, or a hard link that gives another file this name).
bool IsPlainFile(win::HANDLE file) {
  win::BY_HANDLE_FILE_INFORMATION info{};
  if (!win::GetFileInformationByHandle(file, &info)) return false;
  constexpr win::DWORD kNotPlain = win::FILE_ATTRIBUTE_DIRECTORY | win::FILE_ATTRIBUTE_REPARSE_POINT;
  return (info.dwFileAttributes & kNotPlain) == 0 && info.nNumberOfLinks == 1;
}

// Appends the whole message at the end of the log file, under the lock; a
// message that cannot have the lock is lost, never written without it (on
// Windows such a write fails anyway, elsewhere it tears another writer's
// line). A log file that cannot be opened, or is no plain file, is skipped
// without a word.
void LogAppend(std::u16string_view message) {
  using namespace win;
  if (logFailed) return;
  // The name is opened as itself: a link is not followed.
  UniqueFile file;
  ULONGLONG since = GetTickCount64();
  for (;;) {
    file.Reset(CreateFileW(kLogFileName, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (file || GetLastError() != ERROR_SHARING_VIOLATION) break;
    if (!WaitForHolder(since)) return;
  }
  if (!file || !IsPlainFile(file.Get())) {
    logFailed = true;
    return;
  }
  WholeFileLock lock(file.Get());
  if (!lock.Held()) {
    logFailed = !lock.Lockable();
    return;
  }
  std::string bytes = LogEncode(message);
  LARGE_INTEGER zero{};
  if (!SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) return;
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

}  // namespace

void TraceLogReset() {
  logFailed = false;
  logWaitedMs = 0;
  logHeldAt.reset();
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
                                          code, win::LANG_USER_DEFAULT, message, 1024, nullptr);
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
