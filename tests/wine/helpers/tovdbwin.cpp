// Test helper: a debugger-output listener over the classic DBWIN_BUFFER
// protocol. Every OutputDebugString text of any process of the session is
// appended to the output file as one line, line feeds inside written as "\n".
//
// Usage: tovdbwin.exe <output file> <ready file> <stop file>
// It creates the ready file once it listens, and ends when the stop file exists.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  HANDLE bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
  HANDLE dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER");
  if (!bufferReady || !dataReady || !mapping) return 3;
  auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4096));
  if (!view) return 4;
  FILE* out = _wfopen(argv[1], L"ab");
  if (!out) return 5;
  FILE* ready = _wfopen(argv[2], L"wb");
  if (ready) std::fclose(ready);

  SetEvent(bufferReady);
  for (;;) {
    if (WaitForSingleObject(dataReady, 100) == WAIT_OBJECT_0) {
      // The buffer holds the writer's process ID and then the text.
      for (const char* c = view + sizeof(DWORD); c < view + 4096 && *c != '\0'; ++c) {
        if (*c == '\n') std::fputs("\\n", out);
        if (*c != '\n' && *c != '\r') std::fputc(*c, out);
      }
      std::fputc('\n', out);
      std::fflush(out);
      SetEvent(bufferReady);
    } else if (GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES) {
      break;
    }
  }
  std::fclose(out);
  return 0;
}
