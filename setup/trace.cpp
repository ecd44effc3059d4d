#include "setup/trace.h"

#include "common/debugline.h"
#include "win/api.h"

TraceLevel TraceMask = 0;

void TraceMaskInit() {
  TraceMask |= TRACE_ERROR;
  TraceMask |= TRACE_INVOCATION;
  TraceMask |= TRACE_DIFXAPI;
  TraceMask |= TRACE_SETUPAPI;
  TraceMask |= TRACE_VERBOSE;
}

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

constexpr int kLogOpenAttempts = 20;

// Appends the whole message at the end of the log file. Several processes may
// trace into the same file at once, so the end is found and the message
// written under an exclusive lock on the file. A lock that cannot be taken
// does not lose the message: it is written all the same. A log file that
// cannot be opened is skipped without a word.
void LogAppend(std::u16string_view message) {
  using namespace win;
  // Another program that holds the file without sharing it (a virus
  // scanner looking at a new file, for instance) lets go of it within
  // moments: the open is tried again for up to about half a second before
  // the message is given up.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kLogOpenAttempts; ++attempt) {
    if (attempt > 0) Sleep(25);
    file =
        CreateFileW(kLogFileName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
  }
  if (file == INVALID_HANDLE_VALUE) return;
  std::string bytes = LogEncode(message);
  OVERLAPPED whole{};
  BOOL locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 0xFFFFFFFF, 0xFFFFFFFF, &whole);
  LARGE_INTEGER zero{};
  if (SetFilePointerEx(file, zero, nullptr, FILE_END)) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
      DWORD written = 0;
      DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
      if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) break;
      p += written;
      left -= written;
    }
  }
  if (locked) {
    OVERLAPPED again{};
    UnlockFileEx(file, 0, 0xFFFFFFFF, 0xFFFFFFFF, &again);
  }
  CloseHandle(file);
}

}  // namespace

void TraceWrite(TraceLevel level, std::u16string_view message) {
  LogAppend(message);
  if ((level & TraceMask) == 0) return;
  // The message is cut to what its buffer holds.
  WriteDebugLine(u"RVSET: ", message, kDebugBufferChars - 1);
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
  const char16_t* name = u"<Unknown Error>\n";
  switch (code) {
    case 2:
      name = u"ERROR_FILE_NOT_FOUND\n";
      break;
    case 5:
      name = u"ERROR_ACCESS_DENIED\n";
      break;
    case 10:
      name = u"ERROR_BAD_ENVIRONMENT\n";
      break;
    case 14:
      name = u"ERROR_OUTOFMEMORY\n";
      break;
    case 87:
      name = u"ERROR_INVALID_PARAMETER\n";
      break;
    case 122:
      name = u"ERROR_INSUFFICIENT_BUFFER\n";
      break;
    case 123:
      name = u"ERROR_INVALID_NAME\n";
      break;
    case 206:
      name = u"ERROR_FILENAME_EXCED_RANGE\n";
      break;
    case 1630:
      name = u"ERROR_UNSUPPORTED_TYPE\n";
      break;
    case 1920:
      name = u"ERROR_CANT_ACCESS_FILE\n";
      break;
    case 0x80092003:
      name = u"CRYPT_E_FILE_ERROR\n";
      break;
    case 0xE0000235:
      name = u"ERROR_IN_WOW64\n";
      break;
    default:
      break;
  }
  TracePrint(level, u"%s", name);
}
