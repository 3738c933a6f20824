// The report's texts: each kind of line, then whole reports over a scripted
// machine and a collector whose enumeration already ran.
#include "vrel/vreltest/report.h"

#include <gtest/gtest.h>

#include <cstring>
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

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() { machine.cpuid = {{0, test::VendorLeaf("GenuineIntel")}, {1, {0x06F6}}}; }
  void AddCard(const std::string& name, std::uint32_t ip, std::initializer_list<std::uint8_t> mac) {
    NetCardInfo card;
    std::strcpy(card.name, name.c_str());
    card.ip = ip;
    std::copy(mac.begin(), mac.end(), card.mac.bytes);
    collector.cards.Add(card);
  }
  std::string Report(bool status) {
    collector.enumerated = true;
    collector.status = status;
    std::ostringstream out;
    PrintReport(collector, out);
    return out.str();
  }

  test::FakeMachine machine;
  MachineInfo collector;
};

TEST_F(ReportTest, CardsOfEveryNameLengthPrintWhole) {
  const std::string longest(kMaxCardNameLength, 'n');
  AddCard(longest, 0xC0A8010A, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  AddCard("", 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Report(true),
            Head({"476f60", "00:1a:2b:3c:4d:5e", "a01a8c0", "1c2d3e4f", "2262"}) +
                "Card #1:\n\tName: " + longest +
                "\n\tIP:   192.168.1.10\n\tMAC:  00:1a:2b:3c:4d:5e\n\n"
                "Card #2:\n\tName: \n\tIP:   0.0.0.0\n\tMAC:  00:00:00:00:00:00\n\n");
}

TEST_F(ReportTest, FailedEnumerationPrintsRetrievalFailedEvenWithCards) {
  AddCard("eth0", 0x7F000001, {1, 2, 3, 4, 5, 6});
  machine.hasCpuid = false;
  machine.environment.clear();
  EXPECT_EQ(Report(false),
            Head({"N/A", "01:02:03:04:05:06", "N/A", "N/A", "N/A"}) + "Retrieval failed!\n");
}

TEST_F(ReportTest, NoCardsPrintNothingAfterTheHeading) {
  machine.environment["SYSTEMROOT"] = "\\\\server\\windows";
  EXPECT_EQ(Report(true), Head({"476f60", "N/A", "N/A", "0", "0"}));
}

}  // namespace
}  // namespace vrel
