#include "vrel/licence/licence_state.h"

#include <filesystem>
#include <fstream>

#include "vrel/base/hex_text.h"
#include "vrel/crypto/hmac.h"
#include "vrel/licence/utc_time.h"

namespace vrel {
namespace {

namespace fs = std::filesystem;
constexpr std::string_view kHeader = "vrel-licence-state: 1\nlatest: ";
constexpr std::size_t kStateSize = kHeader.size() + 20 + 1 + 5 + 64 + 1;

std::string Mac(std::string_view key, std::string_view body) {
  HmacSha256Context ctx;
  HmacSha256Init(ctx, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(kStateContext),
                   sizeof kStateContext);
  HmacSha256Update(ctx, reinterpret_cast<const unsigned char*>(body.data()), body.size());
  unsigned char mac[kSha256DigestSize];
  HmacSha256Final(ctx, mac);
  std::string text;
  AppendHex(text, mac, sizeof mac);
  return text;
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
  // Exactly the three lines, the mac over the first two.
  const std::size_t body = kHeader.size() + 21;
  if (text.size() != kStateSize || text.compare(0, kHeader.size(), kHeader) != 0 ||
      text.compare(body, 5, "mac: ") != 0 || text.back() != '\n' ||
      text.compare(body + 5, 64, Mac(key, std::string_view(text).substr(0, body))) != 0 ||
      !ParseUtcTime(std::string_view(text).substr(kHeader.size(), 20), latest)) {
    return StateRead::kTampered;
  }
  return StateRead::kOk;
}

bool WriteLicenceState(const std::string& path, std::string_view key, std::int64_t latest) {
  const std::string body = std::string(kHeader) + FormatUtcTime(latest) + "\n";
  const std::string text = body + "mac: " + Mac(key, body) + "\n";
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  fs::rename(temporary, path, error);  // replaces the old file on Windows too
  if (!error) return true;
  fs::remove(temporary, error);
  return false;
}

}  // namespace vrel
