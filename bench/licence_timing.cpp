// Times a licence check on this machine against the fingerprint alone: the
// first VerifyLicence of a fresh process (its one-time set-up included), then,
// warm, VerifyLicence and MakeToken(CollectComponents(), key) called in turn
// many times, their medians and the ratio. Both read the machine afresh on
// every call; the check adds the file, the public keys and the signature.
// Needs nothing beyond the libraries, so it runs on every target, the
// Windows builds under Wine included. The licence must be valid here: the
// commands of docs/benchmarks.md sign one for the machine's token.
// Usage: vrel_licence_timing LICENCE PUBLIC_KEY_FILE KEY [calls, default 200]
// Exits 1 when the licence is not valid here (the figures would mean nothing).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vrel/fingerprint/fingerprint.h"
#include "vrel/licence/licence.h"

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds `call` took.
template <typename Call>
double Timed(const Call& call) {
  const Clock::time_point start = Clock::now();
  call();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

bool ReadText(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<bool>(in) || in.eof();
}

}  // namespace

int main(int argc, char** argv) {
  const long calls = argc > 4 ? std::atol(argv[4]) : 200;
  std::string licence, keyText;
  if ((argc != 4 && argc != 5) || calls < 1 || !ReadText(argv[1], licence) ||
      !ReadText(argv[2], keyText)) {
    std::fprintf(stderr, "usage: vrel_licence_timing LICENCE PUBLIC_KEY_FILE KEY [calls]\n");
    return 2;
  }
  std::vector<std::string> keys;
  for (std::size_t at = 0; at < keyText.size();) {
    const std::size_t end = std::min(keyText.find('\n', at), keyText.size());
    std::string line = keyText.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) keys.push_back(line);
    at = end + 1;
  }
  const std::string key = argv[3];
  const std::string application = vrel::ReadLicenceFile(licence).fields.application;

  vrel::LicenceCheck check;
  const auto verify = [&] { check = vrel::VerifyLicence(licence, keys, key, application); };
  const double first = Timed(verify);
  if (check.verdict != vrel::LicenceVerdict::kValid) {
    std::fprintf(stderr, "vrel_licence_timing: the licence is not valid here: %s %s\n",
                 vrel::LicenceVerdictName(check.verdict), check.detail.c_str());
    return 1;
  }
  std::string token;
  const auto fingerprint = [&] { token = vrel::MakeToken(vrel::CollectComponents(), key); };
  // In turn, so that a change in the machine's load weighs on both alike.
  std::vector<double> verifying, fingerprinting;
  for (long i = 0; i < calls; ++i) {
    fingerprinting.push_back(Timed(fingerprint));
    verifying.push_back(Timed(verify));
  }
  const double v = Median(verifying), f = Median(fingerprinting);
  std::printf("licence %s for %s: %s\n", check.fields.licenceId.c_str(),
              check.fields.licensee.c_str(), vrel::LicenceVerdictName(check.verdict));
  std::printf("first verify in this process: %.3f ms\n", first);
  std::printf("warm, median of %ld calls each, in turn:\n", calls);
  std::printf("  fingerprint (token under the key): %.3f ms\n", f);
  std::printf("  verify: %.3f ms\n", v);
  std::printf("  verify / fingerprint: %.2f\n", v / f);
  return 0;
}
