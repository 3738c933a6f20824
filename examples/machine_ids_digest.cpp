// The seed-compatible record: collects the identifiers into the packed 24-byte
// MachineIds record, digests it with MD5 and prints the digest, with the status
// bits that say which identifiers were missing (and so are zero in it). For
// programs that must agree with records made this way. The record holds the
// first card's MAC, which on many machines belongs to a virtual adapter with a
// new address at every boot: to recognise a machine, use the keyed token of
// licence_check.cpp instead.
#include <cstdio>

#include "vrel/vrel.h"

int main() {
  vrel::MachineInfo collector;  // enumerates the network cards on first use
  vrel::MachineIds ids;
  const int missing = collector.GetIds(ids);

  unsigned char digest[16];
  vrel::Md5Compute(reinterpret_cast<const unsigned char*>(&ids), sizeof ids, digest);

  std::printf("missing identifiers: 0x%x%s%s%s%s\n", static_cast<unsigned>(missing),
              (missing & vrel::MISSING_MAC) ? " MAC" : "",
              (missing & vrel::MISSING_VOLUME_SERIAL) ? " volume-serial" : "",
              (missing & vrel::MISSING_CPU_SIGNATURE) ? " cpu-signature" : "",
              (missing & vrel::MISSING_IP) ? " IP" : "");
  std::printf("record digest: ");
  for (unsigned char byte : digest) std::printf("%02x", byte);
  std::printf("\n");
  return 0;
}
