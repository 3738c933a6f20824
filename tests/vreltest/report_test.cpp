#include "vrel/vreltest/report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "fake_machine.h"
#include "vrel/identity/machine_info.h"

namespace vrel {
namespace {

using test::FakeMachine;
using test::VendorLeaf;

std::string Line(void (*print)(const char*, int, std::uint32_t, std::ostream&), const char* label,
                 int missing, std::uint32_t value) {
  std::ostringstream out;
  print(label, missing, value, out);
  return out.str();
}

TEST(ReportLineTest, LabelsArePaddedSoTheColonStartsAtColumn41) {
  EXPECT_EQ(Line(PrintHexLine, "CPUID", 0, 0x476F60),
            "CPUID                                   : 476f60\n");
  EXPECT_EQ(Line(PrintHexLine, "", 0, 1), std::string(40, ' ') + ": 1\n");
  const std::string label39(39, 'L');
  EXPECT_EQ(Line(PrintHexLine, label39.c_str(), 0, 1), label39 + " : 1\n");
  const std::string label40(40, 'L');
  EXPECT_EQ(Line(PrintHexLine, label40.c_str(), 0, 1), label40 + ": 1\n");
  const std::string label45(45, 'L');
  EXPECT_EQ(Line(PrintHexLine, label45.c_str(), 0, 1), label45 + ": 1\n");
}

TEST(ReportLineTest, HexValuesHaveNoPrefixNorLeadingZeros) {
  std::ostringstream out;
  PrintHexLine("a", 0, 0, out);
  PrintHexLine("b", 0, 0xFFFFFFFFu, out);
  PrintSignedHexLine("c", 0, -1, out);
  PrintSignedHexLine("d", 0, static_cast<std::int32_t>(0x80000000u), out);
  PrintShortHexLine("e", 0, 0x000A, out);
  PrintHexLine("f", 8, 0x1234, out);  // any non-zero flag: N/A
  out << 255 << '\n';                 // the stream is back in decimal
  const std::string pad(39, ' ');
  EXPECT_EQ(out.str(), "a" + pad + ": 0\n" + "b" + pad + ": ffffffff\n" + "c" + pad +
                           ": ffffffff\n" + "d" + pad + ": 80000000\n" + "e" + pad + ": a\n" +
                           "f" + pad + ": N/A\n255\n");
}

TEST(ReportLineTest, MacBytesKeepTheirLeadingZeros) {
  MacAddress mac;
  const std::uint8_t bytes[6] = {0x00, 0x1A, 0x2B, 0x0C, 0xFF, 0x05};
  std::memcpy(mac.bytes, bytes, 6);
  std::ostringstream out;
  PrintMacLine("MAC", 0, mac, out);
  PrintMacLine("MAC", 1, mac, out);
  EXPECT_EQ(out.str(),
            "MAC                                     : 00:1a:2b:0c:ff:05\n"
            "MAC                                     : N/A\n");
  std::ostringstream zero;
  WriteMac(zero, MacAddress());
  EXPECT_EQ(zero.str(), "00:00:00:00:00:00");
}

TEST(ReportLineTest, DottedAddressIsWrittenFromTheMostSignificantOctet) {
  std::ostringstream out;
  PrintDottedIp(0xC0A8010A, out);
  out << ' ';
  PrintDottedIp(0, out);
  out << ' ';
  PrintDottedIp(0xFFFFFFFF, out);
  EXPECT_EQ(out.str(), "192.168.1.10 0.0.0.0 255.255.255.255");
}

// The whole report over a scripted machine and a collector whose
// enumeration already ran.
class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    machine.cpuid[0] = VendorLeaf("GenuineIntel");
    machine.cpuid[1] = {0x06F6, 0, 0, 0};
  }
  void AddCard(const char* name, std::uint32_t ip, std::initializer_list<std::uint8_t> mac) {
    NetCardInfo card;
    std::strcpy(card.name, name);
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

  FakeMachine machine;
  MachineInfo collector;
};

TEST_F(ReportTest, FullReportWithCards) {
  AddCard("Intel(R) PRO/1000 MT Network Connection", 0xC0A8010A, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});
  AddCard("", 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(Report(true),
            "Machine specific info:\n"
            "\n"
            "CPUID                                   : 476f60\n"
            "MAC                                     : 00:1a:2b:3c:4d:5e\n"
            "IP address                              : a01a8c0\n"
            "WIN Vol SN                              : 1c2d3e4f\n"
            "Short WIN Vol SN                        : 2262\n"
            "Netcard info (new API):\n"
            "Card #1:\n"
            "\tName: Intel(R) PRO/1000 MT Network Connection\n"
            "\tIP:   192.168.1.10\n"
            "\tMAC:  00:1a:2b:3c:4d:5e\n"
            "\n"
            "Card #2:\n"
            "\tName: \n"
            "\tIP:   0.0.0.0\n"
            "\tMAC:  00:00:00:00:00:00\n"
            "\n");
}

TEST_F(ReportTest, FailedEnumerationPrintsRetrievalFailedEvenWithCards) {
  AddCard("eth0", 0x7F000001, {1, 2, 3, 4, 5, 6});
  machine.hasCpuid = false;
  machine.environment.clear();
  EXPECT_EQ(Report(false),
            "Machine specific info:\n"
            "\n"
            "CPUID                                   : N/A\n"
            "MAC                                     : 01:02:03:04:05:06\n"
            "IP address                              : N/A\n"
            "WIN Vol SN                              : N/A\n"
            "Short WIN Vol SN                        : N/A\n"
            "Netcard info (new API):\n"
            "Retrieval failed!\n");
}

TEST_F(ReportTest, SuccessfulEnumerationWithoutCardsPrintsNothingAfterTheHeading) {
  machine.environment["SYSTEMROOT"] = "\\\\server\\windows";
  EXPECT_EQ(Report(true),
            "Machine specific info:\n"
            "\n"
            "CPUID                                   : 476f60\n"
            "MAC                                     : N/A\n"
            "IP address                              : N/A\n"
            "WIN Vol SN                              : 0\n"
            "Short WIN Vol SN                        : 0\n"
            "Netcard info (new API):\n");
}

TEST_F(ReportTest, LongestCardNamePrintsWhole) {
  const std::string name(kMaxCardNameLength, 'n');
  AddCard(name.c_str(), 0x0A000001, {0xA, 0, 0, 0, 0, 0xB});
  const std::string report = Report(true);
  EXPECT_NE(report.find("Card #1:\n\tName: " + name + "\n\tIP:   10.0.0.1\n\tMAC:  0a:00:00:00:00:0b\n\n"),
            std::string::npos);
  EXPECT_NE(report.find("IP address                              : 100000a\n"), std::string::npos);
}

}  // namespace
}  // namespace vrel
