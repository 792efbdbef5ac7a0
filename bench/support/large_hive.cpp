#include "bench/support/large_hive.hpp"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/bench_support.hpp"
#include "platform/posix/testing/hive_writer.hpp"

namespace ravlin::bench {
namespace {

using ravlin::testing::BinaryValue;
using ravlin::testing::DwordValue;
using ravlin::testing::SzValue;
using ravlin::testing::TestKey;
using ravlin::testing::TestValue;

// A large hive like a big SYSTEM hive: three control sets with a critical device database,
// services with their usual subkeys, and a device enumeration tree. libhivex never reuses
// space: every new subkey rewrites its parent's index, so a parent with n subkeys leaves about
// 4 n^2 bytes behind. Moderate fan-outs keep the file at the size of a real hive with this
// many keys.
class LargeHive {
 public:
  std::vector<TestKey> Keys() {
    Add("Select", {DwordValue("Current", 1), DwordValue("Default", 1),
                   DwordValue("LastKnownGood", 2), DwordValue("Failed", 0)});
    for (const std::string set : {"ControlSet001", "ControlSet002", "ControlSet003"}) {
      for (int i = 0; i < 500; ++i) {
        Add(set + "\\Control\\CriticalDeviceDatabase\\" +
                Name("pci#ven_%04x&dev_%04x", 0x1000 + i % 97, i),
            {SzValue("ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}"),
             SzValue("Service", Name("svc%04d", i % 500))});
      }
      for (int i = 0; i < 500; ++i) AddService(set + "\\Services\\" + Name("svc%04d", i), i);
      for (int bus = 0; bus < 32; ++bus) {
        for (int i = 0; i < 215; ++i)
          AddDevice(set + "\\Enum\\" + Name("BUS%02d", bus), bus * 215 + i);
      }
    }
    return std::move(keys_);
  }

 private:
  static std::string Name(const char* format, int a, int b = 0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
  }
  static TestValue Binary(const std::string& name, std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    return BinaryValue(name, std::move(data));
  }

  void Add(std::string path, std::vector<TestValue> values = {}) {
    keys_.push_back({std::move(path), std::move(values)});
  }
  void AddService(const std::string& service, int i) {
    Add(service, {DwordValue("Type", 1), DwordValue("Start", 3), DwordValue("ErrorControl", 1),
                  SzValue("ImagePath", Name("system32\\DRIVERS\\svc%04d.sys", i),
                          ravlin::testing::kHiveExpandSz),
                  SzValue("DisplayName", Name("Stand-in service driver number %d", i)),
                  SzValue("Group", "Extended Base"),
                  SzValue("Description",
                          "A service of the benchmark hive, with a description as long as "
                          "the ones Windows ships for its own drivers and services.")});
    Add(service + "\\Parameters",
        {DwordValue("BusType", 5), DwordValue("MaximumTransfer", 65536), SzValue("Mode", "auto")});
    Add(service + "\\Enum", {SzValue("0", Name("PCI\\VEN_8086&DEV_%04X", i)),
                             DwordValue("Count", 1), DwordValue("NextInstance", 1)});
    Add(service + "\\Security", {Binary("Security", 160)});
    Add(service + "\\Linkage");
    Add(service + "\\Performance", {SzValue("Library", "perfsvc.dll"), DwordValue("Counters", 4)});
  }
  void AddDevice(const std::string& bus, int i) {
    const auto instance = bus + "\\" + Name("VEN_%04X&DEV_%04X", 0x8086, i) + "\\3&2411e6fe&0&00";
    Add(instance, {SzValue("DeviceDesc", Name("Stand-in device number %d", i)),
                   SzValue("Service", Name("svc%04d", i % 500)), DwordValue("ConfigFlags", 0)});
    Add(instance + "\\Device Parameters");
    Add(instance + "\\LogConf", {Binary("BasicConfigVector", 120)});
    Add(instance + "\\Control");
  }

  std::vector<TestKey> keys_;
};

}  // namespace

void BuildLargeSystemHive(const std::filesystem::path& file) {
  std::printf("building the large hive with hivex...\n");
  std::fflush(stdout);
  const int built =
      RunInChildProcess([&file] {
        try {
          std::printf("synthetic hive: %zu keys\n",
                      ravlin::testing::MakeTestHive(file, LargeHive().Keys(), "SYSTEM"));
          std::fflush(stdout);
          return 0;
        } catch (const std::exception& error) {
          std::fprintf(stderr, "large hive: %s\n", error.what());
          return 1;
        }
      }).exitCode;
  if (built != 0) throw std::runtime_error("cannot build the large hive");
}

}  // namespace ravlin::bench
