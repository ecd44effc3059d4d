// The setup tool's client of the service control manager.
#pragma once

#include <cstdint>
#include <string>

#include "win/api.h"

// One object serves one command: it holds the manager handle and the handle
// of the one service it works on, and closes both when destroyed.
class TMScmApi {
 public:
  TMScmApi();  // opens the manager; a failure is traced and fails later calls
  ~TMScmApi();
  TMScmApi(const TMScmApi&) = delete;
  TMScmApi& operator=(const TMScmApi&) = delete;

  bool ServiceCreate(std::u16string name, std::u16string binaryPath);
  bool ServiceEnableAccess(std::u16string name);
  bool ServiceStart();
  bool ServiceQueryStatus(win::SC_HANDLE service, win::DWORD& state);
  bool ServiceStop(std::int32_t maxWaits);
  bool ServiceDelete();

 private:
  win::SC_HANDLE manager_ = nullptr;
  win::SC_HANDLE service_ = nullptr;
};
