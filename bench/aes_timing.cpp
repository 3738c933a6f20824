// Times the cipher on this machine: AES-128 and AES-256 in ECB, CBC and CFB,
// encryption and decryption, on the AES instructions and on the table rounds,
// in MB/s (10^6 bytes per second). Needs nothing beyond the library, so it
// runs on every target, the Windows builds under Wine included.
// Usage: vrel_aes_timing [seconds per case, default 0.5] [KiB per buffer, default 1024]
// Exits 1 when the two paths give different output for a case.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vrel/crypto/rijndael.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Case {
  int keyLength;
  int mode;  // vrel::CipherMode
  bool encrypt;
};

struct Timing {
  double mbPerSecond = -1;  // negative when the path is not available
  Bytes output;             // of the first pass, from a freshly keyed cipher
};

// Keys a cipher on one path, runs one untimed pass and then passes until
// `seconds` have gone by (one at least).
Timing Time(bool instructions, const Case& c, const Bytes& in, double seconds) {
  vrel::RijndaelCipher::AllowAesInstructions(instructions);
  vrel::RijndaelCipher cipher;
  cipher.SetKey(in.data(), in.data() + 32, c.keyLength, 16);  // key and chain from the data
  Timing t;
  if (cipher.UsesAesInstructions() != instructions) return t;
  Bytes out(in.size());
  const auto pass = [&] {
    if (c.encrypt) {
      cipher.EncryptBuffer(in.data(), out.data(), in.size(), c.mode);
    } else {
      cipher.DecryptBuffer(in.data(), out.data(), in.size(), c.mode);
    }
  };
  pass();
  t.output = out;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  std::chrono::duration<double> elapsed{};
  double passes = 0;
  do {
    pass();
    ++passes;
    elapsed = Clock::now() - start;
  } while (elapsed.count() < seconds);
  t.mbPerSecond = passes * static_cast<double>(in.size()) / elapsed.count() / 1e6;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 0.5;
  const long kib = argc > 2 ? std::atol(argv[2]) : 1024;
  if (seconds < 0 || kib < 1) {
    std::fprintf(stderr, "usage: vrel_aes_timing [seconds per case] [KiB per buffer]\n");
    return 2;
  }
  Bytes data(static_cast<std::size_t>(kib) * 1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);

  std::printf("MB/s over %ld KiB buffers, %.2f s per case\n", kib, seconds);
  std::printf("%-20s %16s %13s\n", "case", "AES instructions", "table rounds");
  static const char* const kModeNames[] = {"ECB", "CBC", "CFB"};
  int differ = 0;
  for (int keyLength : {16, 32}) {
    for (int mode : {vrel::ECB, vrel::CBC, vrel::CFB}) {
      for (bool encrypt : {true, false}) {
        const Case c{keyLength, mode, encrypt};
        const Timing aes = Time(true, c, data, seconds), table = Time(false, c, data, seconds);
        const bool same = aes.mbPerSecond < 0 || aes.output == table.output;
        differ += same ? 0 : 1;
        char name[32], aesText[24] = "n/a";
        std::snprintf(name, sizeof name, "AES-%d %s %s", keyLength * 8, kModeNames[mode],
                      encrypt ? "encrypt" : "decrypt");
        if (aes.mbPerSecond >= 0) std::snprintf(aesText, sizeof aesText, "%.1f", aes.mbPerSecond);
        std::printf("%-20s %16s %13.1f%s\n", name, aesText, table.mbPerSecond,
                    same ? "" : "  the paths differ");
      }
    }
  }
  vrel::RijndaelCipher::AllowAesInstructions(true);
  return differ == 0 ? 0 : 1;
}
