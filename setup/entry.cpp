// The Windows program entry of the setup tool; the run itself is TMSCAMain.
#include "setup/main.h"

extern "C" int __stdcall wWinMain(win::HINSTANCE, win::HINSTANCE, win::LPWSTR lpCmdLine, int) {
  return TMSCAMain(lpCmdLine);
}
