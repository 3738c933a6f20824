#include "vrel/licence/licence_file.h"

#include <stdexcept>

#include "vrel/licence/base64.h"
#include "vrel/licence/utc_time.h"

namespace vrel {
namespace {

enum class Kind { kFormat, kKeyId, kText, kFeatures, kTime };

// The payload's lines, in order.
struct FieldRow {
  const char* name;
  Kind kind;
  std::string LicenceFields::*text;
  std::int64_t LicenceFields::*time;
};
const FieldRow kFields[] = {
    {"format", Kind::kFormat, nullptr, nullptr},
    {"key-id", Kind::kKeyId, &LicenceFields::keyId, nullptr},
    {"application", Kind::kText, &LicenceFields::application, nullptr},
    {"licence-id", Kind::kText, &LicenceFields::licenceId, nullptr},
    {"licensee", Kind::kText, &LicenceFields::licensee, nullptr},
    {"features", Kind::kFeatures, nullptr, nullptr},
    {"machine-id", Kind::kText, &LicenceFields::machineId, nullptr},
    {"token", Kind::kText, &LicenceFields::token, nullptr},
    {"issued", Kind::kTime, nullptr, &LicenceFields::issued},
    {"expires", Kind::kTime, nullptr, &LicenceFields::expires},
    {"check-in", Kind::kTime, nullptr, &LicenceFields::checkIn},
};
constexpr std::string_view kSignatureName = "signature: ";

bool Printable(std::string_view value) {
  for (const char c : value) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return value.empty() || (value.front() != ' ' && value.back() != ' ');
}

bool FeatureName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool IsKeyIdText(std::string_view text) {
  if (text.size() != 16) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// A format number: decimal digits, no leading zero, at most 9.
bool FormatNumber(std::string_view text, int& value) {
  if (text.empty() || text.size() > 9 || text[0] == '0') return false;
  value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

std::string ValueText(const LicenceFields& fields, const FieldRow& row) {
  switch (row.kind) {
    case Kind::kFormat:
      return std::to_string(fields.format);
    case Kind::kTime:
      return FormatUtcTime(fields.*row.time);
    case Kind::kFeatures: {
      std::string list;
      for (const std::string& name : fields.features) {
        if (!FeatureName(name)) throw std::invalid_argument("bad feature name \"" + name + "\"");
        list += (list.empty() ? "" : ",") + name;
      }
      return list;
    }
    case Kind::kKeyId:
      if (!IsKeyIdText(fields.keyId)) throw std::invalid_argument("key-id is not 16 hex digits");
      break;
    default:  // Kind::kText: the value as it is
      break;
  }
  return fields.*row.text;
}

// Stores `value` into the row's field; false when it is not one.
bool StoreValue(LicenceFields& fields, const FieldRow& row, std::string_view value) {
  switch (row.kind) {
    case Kind::kFormat:
      return true;  // read before the rest
    case Kind::kTime:
      return ParseUtcTime(value, fields.*row.time);
    case Kind::kFeatures:
      while (!value.empty()) {
        const std::size_t comma = value.find(',');
        fields.features.emplace_back(value.substr(0, comma));
        if (!FeatureName(fields.features.back())) return false;
        if (comma == std::string_view::npos) break;
        value.remove_prefix(comma + 1);
        if (value.empty()) return false;  // a trailing comma
      }
      return true;
    case Kind::kKeyId:
      if (!IsKeyIdText(value)) return false;
      break;
    default:  // Kind::kText: the value as it is
      break;
  }
  fields.*row.text = std::string(value);
  return true;
}

// The value of "name: value" or "name:" (empty); false for another line.
bool LineValue(std::string_view line, std::string_view name, std::string_view& value) {
  if (line.substr(0, name.size()) != name || line.substr(name.size(), 1) != ":") return false;
  value = line.substr(name.size() + 1);
  if (value.empty()) return true;
  if (value[0] != ' ') return false;  // Lines() dropped blanks at the end: more follows
  value.remove_prefix(1);
  return Printable(value);
}

// The file's lines: CR LF, LF and CR each end one; spaces and tabs at a line's end dropped.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    end += text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    text.remove_prefix(end);
  }
  return lines;
}

LicenceFileContents Refused(LicenceReadStatus status, std::string error) {
  LicenceFileContents contents;
  contents.status = status;
  contents.error = std::move(error);
  return contents;
}

}  // namespace

std::string WriteLicencePayload(const LicenceFields& fields) {
  std::string payload;
  for (const FieldRow& row : kFields) {
    const std::string value = ValueText(fields, row);
    if (!Printable(value)) {
      throw std::invalid_argument(std::string(row.name) +
                                  ": not printable ASCII, or a blank at an end");
    }
    payload += row.name;
    payload += value.empty() ? ":" : ": ";
    payload += value;
    payload += '\n';
  }
  return payload;
}

std::string LicenceSignedMessage(std::string_view payload) {
  std::string message(kLicenceSignatureContext, sizeof kLicenceSignatureContext);
  message += payload;
  return message;
}

std::string WriteLicenceFile(std::string_view payload, const std::vector<std::uint8_t>& signature) {
  if (signature.size() != kP256SignatureSize) throw std::invalid_argument("not a P-256 signature");
  return std::string(kLicenceBegin) + "\n" + std::string(payload) + std::string(kSignatureName) +
         EncodeBase64(signature.data(), signature.size(), Base64Alphabet::kStandard) + "\n" +
         kLicenceEnd + "\n";
}

LicenceFileContents ReadLicenceFile(std::string_view text) {
  using S = LicenceReadStatus;
  if (text.size() > kMaxLicenceFileSize) return Refused(S::kTooLarge, "larger than 64 KiB");
  for (const char c : text) {
    if ((c < 0x20 || c > 0x7E) && c != '\t' && c != '\r' && c != '\n') {
      return Refused(S::kNotText, "not ASCII text (a NUL, a control character or a byte over 127)");
    }
  }
  const std::vector<std::string_view> lines = Lines(text);
  std::size_t begin = lines.size(), end = lines.size(), begins = 0, ends = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] == kLicenceBegin) begin = i, ++begins;
    if (lines[i] == kLicenceEnd) end = i, ++ends;
  }
  if (begins != 1 || ends != 1 || end < begin + 3) {
    return Refused(S::kMalformed, "not one licence between BEGIN and END lines");
  }
  LicenceFileContents contents;
  std::string_view value;
  if (!LineValue(lines[begin + 1], "format", value) ||
      !FormatNumber(value, contents.fields.format)) {
    return Refused(S::kMalformed, "the first line is not \"format: N\"");
  }
  if (contents.fields.format != kLicenceFormat) {
    contents.status = S::kUnsupportedFormat;
    contents.error = "licence format " + std::string(value) + " is newer than this release reads";
    return contents;
  }
  if (end - begin - 2 != std::size(kFields)) {
    return Refused(S::kMalformed, "not the licence's " + std::to_string(std::size(kFields)) +
                                      " lines and a signature");
  }
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    const std::string_view line = lines[begin + 1 + i];
    if (!LineValue(line, kFields[i].name, value) ||
        !StoreValue(contents.fields, kFields[i], value)) {
      return Refused(S::kMalformed, std::string("line ") + std::to_string(i + 1) +
                                        " is not a valid \"" + kFields[i].name + ":\" line");
    }
    contents.payload.append(line.data(), line.size()) += '\n';
  }
  const std::string_view signature = lines[end - 1];
  if (signature.substr(0, kSignatureName.size()) != kSignatureName ||
      !DecodeBase64(contents.signature, signature.substr(kSignatureName.size()),
                    Base64Alphabet::kStandard) ||
      contents.signature.size() != kP256SignatureSize) {
    return Refused(S::kMalformed, "the last line is not \"signature: \" and 64 bytes in base64");
  }
  contents.status = S::kOk;
  return contents;
}

}  // namespace vrel
