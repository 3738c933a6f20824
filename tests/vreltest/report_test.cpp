// The report's texts: each kind of line, then whole reports over a scripted
// machine and a collector whose enumeration already ran.
#include "vrel/vreltest/report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

TEST(ReportLineTest, ColonAtColumn41BareHexAndAddresses) {
  MacAddress mac;
  const std::uint8_t bytes[6] = {0x00, 0x1A, 0x2B, 0x0C, 0xFF, 0x05};
  std::memcpy(mac.bytes, bytes, 6);
  const std::string l39(39, 'L'), l40(40, 'L'), l45(45, 'L'), pad(39, ' ');
  std::ostringstream out;
  PrintHexLine("", 0, 1, out);
  PrintHexLine(l39.c_str(), 0, 0, out);
  PrintHexLine(l40.c_str(), 0, 0x476F60, out);
  PrintHexLine(l45.c_str(), 0, 0xFFFFFFFFu, out);
  PrintSignedHexLine("c", 0, -1, out);
  PrintSignedHexLine("d", 0, INT32_MIN, out);
  PrintShortHexLine("e", 0, 0x000A, out);
  PrintHexLine("f", 8, 0x1234, out);  // any non-zero flag: N/A
  PrintMacLine("g", 0, mac, out);
  PrintMacLine("h", 1, mac, out);
  PrintDottedIp(0xC0A8010A, out);
  out << ' ';
  PrintDottedIp(0, out);
  out << ' ';
  PrintDottedIp(0xFFFFFFFF, out);
  out << ' ' << 255 << ' ';  // the stream is back in decimal
  WriteMac(out, MacAddress());
  EXPECT_EQ(out.str(), std::string(40, ' ') + ": 1\n" + l39 + " : 0\n" + l40 + ": 476f60\n" + l45 +
                           ": ffffffff\nc" + pad + ": ffffffff\nd" + pad + ": 80000000\ne" + pad +
                           ": a\nf" + pad + ": N/A\ng" + pad + ": 00:1a:2b:0c:ff:05\nh" + pad +
                           ": N/A\n192.168.1.10 0.0.0.0 255.255.255.255 255 00:00:00:00:00:00");
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    machine.cpuid[0] = test::VendorLeaf("GenuineIntel");
    machine.cpuid[1] = {0x06F6, 0, 0, 0};
  }
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

TEST_F(ReportTest, CardsOfEveryLengthPrintWhole) {
  const std::string longest(kMaxCardNameLength, 'n');
  AddCard(longest, 0xC0A8010A, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  AddCard("", 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Report(true),
            "Machine specific info:\n\n"
            "CPUID                                   : 476f60\n"
            "MAC                                     : 00:1a:2b:3c:4d:5e\n"
            "IP address                              : a01a8c0\n"
            "WIN Vol SN                              : 1c2d3e4f\n"
            "Short WIN Vol SN                        : 2262\n"
            "Netcard info (new API):\n"
            "Card #1:\n\tName: " + longest + "\n\tIP:   192.168.1.10\n\tMAC:  00:1a:2b:3c:4d:5e\n\n"
            "Card #2:\n\tName: \n\tIP:   0.0.0.0\n\tMAC:  00:00:00:00:00:00\n\n");
}

TEST_F(ReportTest, FailedEnumerationPrintsRetrievalFailedEvenWithCards) {
  AddCard("eth0", 0x7F000001, {1, 2, 3, 4, 5, 6});
  machine.hasCpuid = false;
  machine.environment.clear();
  EXPECT_EQ(Report(false),
            "Machine specific info:\n\n"
            "CPUID                                   : N/A\n"
            "MAC                                     : 01:02:03:04:05:06\n"
            "IP address                              : N/A\n"
            "WIN Vol SN                              : N/A\n"
            "Short WIN Vol SN                        : N/A\n"
            "Netcard info (new API):\n"
            "Retrieval failed!\n");
}

TEST_F(ReportTest, NoCardsPrintNothingAfterTheHeading) {
  machine.environment["SYSTEMROOT"] = "\\\\server\\windows";
  EXPECT_EQ(Report(true),
            "Machine specific info:\n\n"
            "CPUID                                   : 476f60\n"
            "MAC                                     : N/A\n"
            "IP address                              : N/A\n"
            "WIN Vol SN                              : 0\n"
            "Short WIN Vol SN                        : 0\n"
            "Netcard info (new API):\n");
}

}  // namespace
}  // namespace vrel
