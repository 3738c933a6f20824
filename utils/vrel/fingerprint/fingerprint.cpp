#include "vrel/fingerprint/fingerprint.h"

#include <algorithm>
#include <stdexcept>

#include "vrel/crypto/hmac.h"

namespace vrel {
namespace {

ComponentDigest DigestOf(std::string_view key, const char* name, const std::string& value) {
  HmacSha256Context ctx;
  HmacSha256Init(ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  // The name and a NUL before the value keep the components apart.
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(name),
                   std::char_traits<char>::length(name) + 1);
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(value.data()), value.size());
  unsigned char mac[kSha256DigestSize];
  HmacSha256Final(ctx, mac);
  ComponentDigest digest;
  std::copy(mac, mac + kTokenDigestBytes, digest.begin());
  return digest;
}

}  // namespace

Fingerprint ComputeFingerprint(const MachineComponents& machine, std::string_view key) {
  if (key.empty()) throw std::invalid_argument("the fingerprint key is empty");
  Fingerprint result;
  for (int i = 0; i < kComponentCount; ++i) {
    const ComponentValue& value = machine.components[i];
    ComponentDigests& out = result.components[i];
    if (!value.available || value.values.empty()) continue;
    const char* name = ComponentName(static_cast<ComponentId>(i));
    for (const std::string& text : value.values) out.digests.push_back(DigestOf(key, name, text));
    std::sort(out.digests.begin(), out.digests.end());
    out.digests.erase(std::unique(out.digests.begin(), out.digests.end()), out.digests.end());
    if (out.digests.size() > kMaxTokenNics) out.digests.resize(kMaxTokenNics);
    out.available = true;
  }
  return result;
}

std::string MakeToken(const MachineComponents& machine, std::string_view key) {
  return FormatToken(ComputeFingerprint(machine, key));
}

MatchResult MatchToken(const Fingerprint& stored, const MachineComponents& machine,
                       std::string_view key, const MatchRule& rule) {
  return MatchFingerprints(stored, ComputeFingerprint(machine, key), rule);
}

}  // namespace vrel
