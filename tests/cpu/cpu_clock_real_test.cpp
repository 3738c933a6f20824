// The clock estimate on the real machine, against the kernel's own measure of
// the time-stamp counter frequency. Natively the figure comes from the kernel
// log (dmesg) or, failing that, "cpu MHz" in /proc/cpuinfo; a Windows build
// under Wine reads the host's /proc/cpuinfo through Wine's Z: drive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "vrel/cpu/cpu_naming.h"

namespace vrel {
namespace {

struct Reference {
  double mhz;
  std::string source;
};

// The number that follows `marker` on `line`, when the line has the marker.
std::optional<double> NumberAfter(const std::string& line, const std::string& marker) {
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return std::nullopt;
  const char* start = line.c_str() + at + marker.size();
  char* end = nullptr;
  const double value = std::strtod(start, &end);
  if (end == start || value <= 0) return std::nullopt;
  return value;
}

// The TSC frequency in a kernel log: the refined calibration when present
// (it is the later and finer figure), else the boot-time detection.
std::optional<double> TscMhzFromKernelLog(const std::string& log) {
  std::optional<double> detected;
  std::optional<double> refined;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    if (auto mhz = NumberAfter(line, "tsc: Refined TSC clocksource calibration: ")) refined = mhz;
    if (auto mhz = NumberAfter(line, "tsc: Detected ")) detected = mhz;
  }
  return refined ? refined : detected;
}

// "cpu MHz" of the first processor in /proc/cpuinfo text.
std::optional<double> MhzFromCpuinfo(const std::string& cpuinfo) {
  std::istringstream lines(cpuinfo);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("cpu MHz", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos) return NumberAfter(line, line.substr(0, colon + 1));
  }
  return std::nullopt;
}

std::string ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

#ifndef _WIN32
std::string CommandOutput(const char* command) {
  std::string out;
  if (FILE* pipe = popen(command, "r")) {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
    pclose(pipe);
  }
  return out;
}
#endif

std::optional<Reference> KernelTscMhz(std::string& tried) {
#ifdef _WIN32
  const char* cpuinfoPath = "Z:\\proc\\cpuinfo";
  tried = "no kernel log from a Windows program; ";
#else
  const char* cpuinfoPath = "/proc/cpuinfo";
  if (auto mhz = TscMhzFromKernelLog(CommandOutput("dmesg 2>/dev/null"))) {
    return Reference{*mhz, "dmesg"};
  }
  tried = "no TSC frequency in dmesg; ";
#endif
  if (auto mhz = MhzFromCpuinfo(ReadWholeFile(cpuinfoPath))) {
    return Reference{*mhz, std::string("\"cpu MHz\" in ") + cpuinfoPath};
  }
  tried += std::string("no \"cpu MHz\" in ") + cpuinfoPath;
  return std::nullopt;
}

TEST(KernelFigureTest, ParsesTheKernelsLines) {
  const std::string log =
      "[    0.000000] [Firmware Bug]: TSC doesn't count with P0 frequency!\n"
      "[    0.000251] tsc: Detected 2096.009 MHz processor\n"
      "[    0.063623] TSC deadline timer available\n"
      "[    1.532000] tsc: Refined TSC clocksource calibration: 2095.077 MHz\n";
  EXPECT_DOUBLE_EQ(TscMhzFromKernelLog(log).value_or(0), 2095.077);
  EXPECT_DOUBLE_EQ(TscMhzFromKernelLog(log.substr(0, log.rfind("[    1."))).value_or(0), 2096.009);
  EXPECT_FALSE(TscMhzFromKernelLog("[    0.1] TSC deadline timer available\n"));
  EXPECT_DOUBLE_EQ(MhzFromCpuinfo("processor\t: 0\nmodel name\t: X\ncpu MHz\t\t: 2096.009\n")
                       .value_or(0),
                   2096.009);
  EXPECT_FALSE(MhzFromCpuinfo("processor\t: 0\n"));
}

TEST(ClockRealTest, WithinTwoPercentOfTheKernelsTscFrequency) {
  std::string tried;
  const std::optional<Reference> reference = KernelTscMhz(tried);
  if (!reference) GTEST_SKIP() << "no kernel TSC frequency: " << tried;

  // A loaded machine can oversleep; a few tries keep one late wake-up from
  // failing the check.
  std::vector<std::int64_t> measured;
  for (int attempt = 0; attempt < 3; ++attempt) {
    measured.push_back(MeasureCpuClockMHz());
    const double error = std::fabs(static_cast<double>(measured.back()) - reference->mhz);
    std::printf("measured %lld MHz, kernel %.3f MHz (%s), off by %.2f%%\n",
                static_cast<long long>(measured.back()), reference->mhz,
                reference->source.c_str(), 100.0 * error / reference->mhz);
    if (error <= 0.02 * reference->mhz) return;
  }
  ADD_FAILURE() << "no estimate within 2% of " << reference->mhz << " MHz ("
                << reference->source << "); last " << measured.back() << " MHz";
}

}  // namespace
}  // namespace vrel
