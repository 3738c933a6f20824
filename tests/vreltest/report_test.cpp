// The report's texts: each kind of line, then whole reports over a scripted
// machine and a collector whose enumeration already ran.
#include "vrel/vreltest/report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

TEST(ReportLineTest, ColonAtColumn41BareHexAndAddresses) {
  const MacAddress mac{{0x00, 0x1A, 0x2B, 0x0C, 0xFF, 0x05}};
  const std::string l39(39, 'L'), l45(45, 'L'), pad(39, ' ');
  std::ostringstream out;
  PrintHexLine("", 0, 1, out);
  PrintHexLine(l39.c_str(), 0, 0, out);
  PrintHexLine(l45.c_str(), 0, 0xFFFFFFFFu, out);
  PrintSignedHexLine("d", 0, INT32_MIN, out);
  PrintShortHexLine("e", 0, 0x000A, out);
  PrintHexLine("f", 8, 0x1234, out);  // any non-zero flag: N/A
  PrintMacLine("g", 0, mac, out);
  PrintMacLine("h", 1, mac, out);
  for (std::uint32_t ip : {0xC0A8010Au, 0u, 0xFFFFFFFFu}) PrintDottedIp(ip, out << ' ');
  WriteMac(out << ' ', MacAddress()) << ' ' << 255 << ' ';  // the stream is back in decimal
  PrintMac(mac, out);
  EXPECT_EQ(out.str(), std::string(40, ' ') + ": 1\n" + l39 + " : 0\n" + l45 + ": ffffffff\nd" +
                           pad + ": 80000000\ne" + pad + ": a\nf" + pad + ": N/A\ng" + pad +
                           ": 00:1a:2b:0c:ff:05\nh" + pad + ": N/A\n 192.168.1.10 0.0.0.0 " +
                           "255.255.255.255 00:00:00:00:00:00 255 00:1a:2b:0c:ff:05");
}

// The heading and the five labelled lines, laid out as the test above proves.
std::string Head(const std::vector<std::string>& values) {
  const char* labels[] = {"CPUID", "MAC", "IP address", "WIN Vol SN", "Short WIN Vol SN"};
  std::string head = "Machine specific info:\n\n";
  for (int i = 0; i < 5; ++i) {
    head += (labels[i] + std::string(40, ' ')).substr(0, 40) + ": " + values[i] + "\n";
  }
  return head + "Netcard info (new API):\n";
}

// Cards of every name length print whole; a failed enumeration prints "Retrieval
// failed!" even with cards; no cards print nothing after the heading.
TEST(ReportTest, WholeReports) {
  NetCardInfo longest{"", 0xC0A8010A, {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}};
  std::fill_n(longest.name, kMaxCardNameLength, 'n');
  const struct {
    std::vector<NetCardInfo> cards;
    bool status;
    const char* systemRoot;  // null: no CPUID and an empty environment
    std::string expected;
  } kRows[] = {
      {{longest, NetCardInfo()}, true, "C:\\WINDOWS",
       Head({"476f60", "00:1a:2b:3c:4d:5e", "a01a8c0", "1c2d3e4f", "2262"}) +
           "Card #1:\n\tName: " + longest.name +
           "\n\tIP:   192.168.1.10\n\tMAC:  00:1a:2b:3c:4d:5e\n\n"
           "Card #2:\n\tName: \n\tIP:   0.0.0.0\n\tMAC:  00:00:00:00:00:00\n\n"},
      {{{"eth0", 0x7F000001, {{1, 2, 3, 4, 5, 6}}}}, false, nullptr,
       Head({"N/A", "01:02:03:04:05:06", "N/A", "N/A", "N/A"}) + "Retrieval failed!\n"},
      {{}, true, "\\\\server\\windows", Head({"476f60", "N/A", "N/A", "0", "0"})}};
  for (const auto& row : kRows) {
    test::FakeMachine machine;
    machine.cpuid = {{0, test::VendorLeaf("GenuineIntel")}, {1, {0x06F6}}};
    machine.hasCpuid = row.systemRoot != nullptr;
    machine.environment.clear();
    if (row.systemRoot != nullptr) machine.environment["SYSTEMROOT"] = row.systemRoot;
    MachineInfo collector;
    for (const NetCardInfo& card : row.cards) collector.cards.Add(card);
    collector.enumerated = true;
    collector.status = row.status;
    std::ostringstream out;
    PrintReport(collector, out);
    EXPECT_EQ(out.str(), row.expected);
  }
}

}  // namespace
}  // namespace vrel
