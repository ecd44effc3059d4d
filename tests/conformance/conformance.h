// The seam's conformance cases: direct win:: calls with the answers that
// Microsoft documents (the result, the last error, what the machine holds
// afterwards). cases.cpp is built twice: against the simulated machine
// (simulated.cpp, in the unit tests) and against Windows (windows.cpp,
// conformance.exe, run under Wine). Each side arranges a case's machine its
// own way, through the calls below.
#pragma once

#include <string>
#include <vector>

#include "win/api.h"

namespace conformance {

// Defined by each side.
extern const bool kWine;
std::u16string Dir();   // an empty scratch directory, without a trailing backslash
std::u16string Self();  // this program; with the argument "service" it runs ServiceProcess()
// A present device with its hardware key and lists (";" between entries;
// empty: no such property), and one compatible driver, of "Tov Conformance".
void AddDevice(const std::u16string& instanceId, const std::u16string& hardwareIds, const std::u16string& upperFilters);

// In cases.cpp. One check: a failure is printed and counted. `wineGap` names
// a known difference of Wine's: under Wine a failure is printed and not
// counted, and a pass is counted (the mark is stale).
void Check(bool ok, const char* what, int line, const char* wineGap = nullptr);
bool Runs(const char* wineGap);  // false under Wine, where the call would end or block the process
struct Case {
  const char* name;
  void (*run)();
};
extern const std::vector<Case> kCases;
unsigned RunCase(const Case& c);  // the checks of `c` that failed
unsigned WineGaps();              // the known differences met so far
int ServiceProcess();             // the cases' service; 1 when the dispatcher fails

}  // namespace conformance

#define CHECK(ok) conformance::Check((ok), #ok, __LINE__)
#define CHECK_WINE_GAP(ok, why) conformance::Check((ok), #ok, __LINE__, why)
