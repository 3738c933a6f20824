// The exchange on Windows: WinHTTP, synchronous, with the system's proxy settings (the automatic
// proxy of Windows 8.1 and later) and certificate store. WinHTTP has no total timeout of its own,
// so every call gets what is left of it: the send, the response and each read are bounded by the
// time remaining, and a call that finds none left ends the exchange as a timeout.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <memory>
#include <new>

#include "vrel/activation/http.h"
#include "vrel/version.h"

namespace vrel::http {
namespace {

struct HandleClose {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleClose>;

// WinHTTP's errors that say more than "the connection failed"; any other is kNoConnection.
// A self-signed or otherwise untrusted certificate is ERROR_WINHTTP_SECURE_FAILURE (12175) on
// Windows; Wine 8 fails the handshake with ERROR_WINHTTP_SECURE_CHANNEL_ERROR (12157) instead,
// which Windows also gives when the handshake fails for another reason (no common protocol): both
// are the server's secure channel refused.
constexpr struct {
  DWORD code;
  Failure failure;
} kFailures[] = {
    {ERROR_WINHTTP_INVALID_URL, Failure::kBadUrl},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, Failure::kBadUrl},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, Failure::kNameNotResolved},
    {ERROR_WINHTTP_TIMEOUT, Failure::kTimeout},
    {ERROR_WINHTTP_SECURE_FAILURE, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_INVALID_CA, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, Failure::kCertificate},
    {ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE, Failure::kCertificate},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, Failure::kBadAnswer},
};

// A redirect is answered as it came, never followed: the body holds the licence key, which goes
// to the server the application names and nowhere else (libcurl follows none either).
bool RefuseRedirects(HINTERNET request) {
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  return WinHttpSetOption(request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
}

Reply Failed(DWORD code) {
  if (code == ERROR_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
  Reply reply;
  reply.failure = Failure::kNoConnection;
  for (const auto& known : kFailures) {
    if (known.code == code) reply.failure = known.failure;
  }
  reply.detail = "WinHTTP error " + std::to_string(code);
  return reply;
}

std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');  // never more UTF-16 units than UTF-8 bytes
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          static_cast<int>(wide.size()))));
  return wide;
}

// Milliseconds until `deadline` (GetTickCount64's clock), at most `cap`; 0 when none are left.
int Remaining(ULONGLONG deadline, long cap) {
  const ULONGLONG now = GetTickCount64();
  const ULONGLONG left = deadline > now ? deadline - now : 0;
  return static_cast<int>(std::min<ULONGLONG>(left, static_cast<ULONGLONG>(cap)));
}

// Bounds the request's next calls by the time left; false when none is.
bool Bound(HINTERNET request, ULONGLONG deadline, const Limits& limits) {
  const int total = Remaining(deadline, limits.timeoutMs);
  const int connect = std::min(total, static_cast<int>(limits.connectTimeoutMs));
  return total > 0 && WinHttpSetTimeouts(request, connect, connect, total, total);
}

// Retry-After (RFC 9110, 10.2.3) as seconds: a number of seconds, or an HTTP-date, which WinHTTP
// reads, less the time now; 0 when missing, unreadable or past.
std::int64_t RetryAfter(HINTERNET request) {
  wchar_t text[64];
  DWORD size = sizeof text;
  const bool found =
      WinHttpQueryHeaders(request, WINHTTP_QUERY_RETRY_AFTER, WINHTTP_HEADER_NAME_BY_INDEX, text,
                          &size, WINHTTP_NO_HEADER_INDEX);
  if (!found) return 0;
  const std::wstring value(text, size / sizeof(wchar_t));
  if (!value.empty() && value.find_first_not_of(L"0123456789") == std::wstring::npos) {
    return std::stoll(value.substr(0, 12));  // at most about 31,000 years
  }
  SYSTEMTIME then;
  FILETIME thenFile, nowFile;
  const bool date = WinHttpTimeToSystemTime(value.c_str(), &then);
  if (!date || !SystemTimeToFileTime(&then, &thenFile)) return 0;
  GetSystemTimeAsFileTime(&nowFile);
  const auto ticks = [](const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
  };
  return std::max<std::int64_t>((ticks(thenFile) - ticks(nowFile)) / 10000000, 0);
}

}  // namespace

Reply PostJson(const std::string& url, const std::string& body, const Limits& limits) {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(limits.timeoutMs);
  const std::wstring wideUrl = FromUtf8(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return Failed(GetLastError());
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  const std::wstring path = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                            std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  const std::wstring agent = FromUtf8("vrel/" VREL_VERSION);
  const Handle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                                   WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failed(GetLastError());
  const Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return Failed(GetLastError());
  const Handle request(WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr,
                                          WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                          secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) return Failed(GetLastError());
  HINTERNET r = request.get();
  if (!RefuseRedirects(r)) return Failed(GetLastError());
  const wchar_t headers[] = L"Content-Type: application/json\r\nAccept: application/json\r\n";
  const DWORD size = static_cast<DWORD>(body.size());
  void* data = const_cast<char*>(body.data());  // WinHTTP only reads it
  if (!Bound(r, deadline, limits)) return Failed(ERROR_WINHTTP_TIMEOUT);
  const bool sent = WinHttpSendRequest(r, headers, static_cast<DWORD>(-1), data, size, size, 0);
  if (!sent) return Failed(GetLastError());
  if (!Bound(r, deadline, limits)) return Failed(ERROR_WINHTTP_TIMEOUT);
  if (!WinHttpReceiveResponse(r, nullptr)) return Failed(GetLastError());

  Reply reply;
  DWORD status = 0, statusSize = sizeof status;
  const bool answered = WinHttpQueryHeaders(
      r, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
      &status, &statusSize, WINHTTP_NO_HEADER_INDEX);
  if (!answered) return Failed(GetLastError());
  reply.status = static_cast<int>(status);
  reply.retryAfter = RetryAfter(r);
  char buffer[8192];
  for (DWORD read = 1; read != 0;) {
    if (!Bound(r, deadline, limits)) return Failed(ERROR_WINHTTP_TIMEOUT);
    if (!WinHttpReadData(r, buffer, sizeof buffer, &read)) return Failed(GetLastError());
    if (reply.body.size() + read > kMaxBody) return Failed(ERROR_WINHTTP_INVALID_SERVER_RESPONSE);
    reply.body.append(buffer, read);
  }
  return reply;
}

}  // namespace vrel::http
