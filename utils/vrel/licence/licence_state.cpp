#include "vrel/licence/licence_state.h"

#include <filesystem>
#include <fstream>

#include "vrel/base/hex_text.h"
#include "vrel/crypto/hmac.h"
#include "vrel/licence/utc_time.h"
#include "vrel/licence/whole_file.h"

namespace vrel {
namespace {

namespace fs = std::filesystem;
constexpr std::string_view kHeader = "vrel-licence-state: 1\nlatest: ";
constexpr std::size_t kStateSize = kHeader.size() + 20 + 1 + 5 + 64 + 1;

// The file as written for `latest`: two lines and the mac over them.
std::string StateText(std::string_view key, std::int64_t latest) {
  const std::string body = std::string(kHeader) + FormatUtcTime(latest) + "\n";
  HmacSha256Context ctx;
  HmacSha256Init(ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(kStateContext),
                   sizeof kStateContext);
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(body.data()), body.size());
  unsigned char mac[kSha256DigestSize];
  HmacSha256Final(ctx, mac);
  std::string text = body + "mac: ";
  AppendHex(text, mac, sizeof mac);
  return text + "\n";
}

}  // namespace

StateRead ReadLicenceState(const std::string& path, std::string_view key, std::int64_t& latest) {
  std::error_code error;
  if (fs::status(path, error).type() == fs::file_type::not_found) return StateRead::kAbsent;
  std::ifstream in(path, std::ios::binary);
  if (!in) return StateRead::kUnreadable;
  std::string text;
  char buffer[kStateSize + 1];
  in.read(buffer, sizeof buffer);
  if (in.bad()) return StateRead::kUnreadable;
  text.assign(buffer, static_cast<std::size_t>(in.gcount()));
  // Believed only as written: the time it holds must give back the very same text.
  std::int64_t time = 0;
  if (text.size() != kStateSize ||
      !ParseUtcTime(std::string_view(text).substr(kHeader.size(), 20), time)) {
    return StateRead::kTampered;
  }
  if (text != StateText(key, time)) return StateRead::kTampered;
  latest = time;
  return StateRead::kOk;
}

bool WriteLicenceState(const std::string& path, std::string_view key, std::int64_t latest) {
  return WriteFileWhole(path, StateText(key, latest));
}

}  // namespace vrel
