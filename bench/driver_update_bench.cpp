// Time per device of the driver update walk ("-DriverUpdate") over many
// simulated devices, run through the whole tool: the walk that installs the
// driver on every device, and the repeated walk that finds every device done.
//
//   cmake --preset bench && cmake --build --preset bench &&
//   build/bench/bench/tov_bench_driver_update [device counts...]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "setup/main.h"
#include "sim/machine.h"

namespace {

void AddDevices(std::size_t count) {
  auto& devices = sim::M().devices;
  devices.devices.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::u16string instance = u"HID\\VID_0430&PID_0005&MI_01\\7&1a2b3c&0&";
    for (char c : std::to_string(i)) instance.push_back(static_cast<char16_t>(c));
    sim::Device& d = devices.Add(
        instance, {u"HID\\VID_0430&PID_0005&REV_0101&MI_01", u"HID\\VID_0430&PID_0005&MI_01", u"HID_DEVICE"});
    sim::Driver driver;
    driver.manufacturer = u"Morvik AG";
    d.drivers = {driver};
  }
}

double SecondsOfRun() {
  std::u16string argument = u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL";
  auto start = std::chrono::steady_clock::now();
  int exitCode = TMSCAMain(argument.data());
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (exitCode != 0) {
    std::fprintf(stderr, "the run failed with exit code %d\n", exitCode);
    std::exit(1);
  }
  return elapsed.count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> counts = {1000, 10000};
  if (argc > 1) {
    counts.clear();
    for (int i = 1; i < argc; ++i) counts.push_back(std::strtoul(argv[i], nullptr, 10));
  }
  std::printf("%10s %14s %16s %14s %16s\n", "devices", "install s", "install us/dev", "repeat s", "repeat us/dev");
  for (std::size_t n : counts) {
    sim::Reset();
    sim::AddNewdev();
    AddDevices(n);
    double install = SecondsOfRun();
    if (sim::M().devices.installs.size() != n) {
      std::fprintf(stderr, "expected %zu installations, got %zu\n", n, sim::M().devices.installs.size());
      return 1;
    }
    double repeat = SecondsOfRun();
    std::printf("%10zu %14.3f %16.2f %14.3f %16.2f\n", n, install, install * 1e6 / n, repeat, repeat * 1e6 / n);
  }
  return 0;
}
