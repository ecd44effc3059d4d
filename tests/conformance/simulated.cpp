// The conformance cases against the simulated machine, each on a fresh one.
#include <gtest/gtest.h>

#include "sim/machine.h"
#include "tests/conformance/conformance.h"

namespace conformance {

const bool kWine = false;
std::u16string Dir() { return u"C:\\Conformance"; }
std::u16string Self() { return sim::M().modulePath; }

void AddDevice(const std::u16string& instanceId, const std::u16string& hardwareIds,
               const std::u16string& upperFilters) {
  auto list = [](std::u16string_view s) {
    std::vector<std::u16string> out;
    for (std::size_t end; !s.empty(); s.remove_prefix(std::min(end, s.size() - 1) + 1)) {
      out.emplace_back(s.substr(0, end = s.find(u';')));
    }
    return out;
  };
  sim::Device& d = sim::M().devices.Add(instanceId, list(hardwareIds));
  d.upperFilters = list(upperFilters);
  d.drivers = {sim::Driver{.manufacturer = u"Tov Conformance"}};
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

namespace {

class Seam : public testing::TestWithParam<Case> {};

// The failed checks are on the test's output.
TEST_P(Seam, AnswersAsWindowsDocuments) {
  sim::Reset();
  sim::AddNewdev();
  sim::M().fs.Put(Dir()).attributes = win::FILE_ATTRIBUTE_DIRECTORY;
  sim::M().fs.Put(Self());
  // Started without parameters (by the service control manager) it is the service.
  sim::M().services.SetProgram(Self(), [](const sim::ProcessRun& run) {
    return static_cast<win::DWORD>(run.parameters.empty() ? ServiceProcess() : 0);
  });
  EXPECT_EQ(RunCase(GetParam()), 0u);
}

INSTANTIATE_TEST_SUITE_P(conformance, Seam, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace conformance
