// Shared fixture of the unit tests: a fresh simulated machine per test, and
// the setup tool's outputs as a user sees them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/wstr.h"
#include "setup/main.h"
#include "setup/trace.h"
#include "sim/machine.h"

// Lines of a log or of the debugger output.
using Lines = std::vector<std::string>;

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    TraceMask = 0;
    TraceLogReset();
  }

  // Runs the setup tool with `argument` as its command line argument.
  static int Run(std::u16string argument) { return TMSCAMain(argument.data()); }

  // The log file's bytes in the current directory ("" when there is none).
  static std::string Log() { return sim::M().LogBytes().value_or(""); }

  // Every debugger output string, as UTF-8.
  static std::vector<std::string> Debug() {
    std::vector<std::string> out;
    for (const auto& s : sim::M().debugOutput) out.push_back(wstr::ToUtf8(s));
    return out;
  }

  // The log's lines without their CR LF; a last line without a line end is kept.
  static std::vector<std::string> LogLines() {
    std::vector<std::string> lines;
    const std::string log = Log();
    for (std::size_t start = 0, end = 0; start < log.size(); start = end + 2) {
      end = std::min(log.find("\r\n", start), log.size());
      lines.push_back(log.substr(start, end - start));
    }
    return lines;
  }

  // How often `line` is one of `lines`, or a whole line of the log.
  static std::size_t Count(const Lines& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  static std::size_t Logged(const std::string& line) { return Count(LogLines(), line); }
  // How often the platform call `call` was made.
  static std::size_t Calls(const std::string& call) { return sim::M().callCounts[call]; }

  // The log's last `n` lines (all of them when there are fewer).
  static Lines LastLines(std::size_t n) {
    Lines lines = LogLines();
    return Lines(lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end());
  }

  // Platform calls made, apart from those that write the log file and the
  // start of every run.
  static std::vector<std::string> OperationCalls() {
    static const std::vector<std::string> kLogCalls = {
        "CreateFileW", "GetFileInformationByHandle", "LockFileEx", "SetFilePointerEx", "WriteFile", "UnlockFileEx",
        "CloseHandle", "SetDefaultDllDirectories"};
    std::vector<std::string> out;
    for (const auto& c : sim::M().calls) {
      if (std::find(kLogCalls.begin(), kLogCalls.end(), c) == kLogCalls.end()) out.push_back(c);
    }
    return out;
  }

  // The log without the first two lines (entry and banner), which every run writes.
  static std::vector<std::string> LogAfterBanner() {
    auto lines = LogLines();
    if (lines.size() >= 2) lines.erase(lines.begin(), lines.begin() + 2);
    return lines;
  }
};
