#include "vrel/platform/platform.h"
#include "vrel/wmi/enumerate_net_cards.h"

namespace vrel {
namespace {

// An authentication identity's text: UTF-16 code units, NUL-terminated.
template <std::size_t N>
struct IdentityText {
  USHORT units[N];
  static constexpr ULONG kLength = N - 1;
};

template <std::size_t N>
constexpr IdentityText<N> MakeIdentityText(const char (&text)[N]) {
  IdentityText<N> result{};
  for (std::size_t i = 0; i < N; ++i) result.units[i] = static_cast<USHORT>(text[i]);
  return result;
}

bool IsWindows2000(DWORD version) {
  const DWORD major = version & 0xFF;
  const DWORD minor = (version >> 8) & 0xFF;
  return major == 5 && minor == 0;
}

HRESULT SetSecurity(DWORD authnLevel, void* authList) {
  return platform::Current().CoInitializeSecurity(nullptr, -1, nullptr, nullptr, authnLevel,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, authList, EOAC_NONE,
                                                  nullptr);
}

}  // namespace

HRESULT InitComSecurity() {
  if (!IsWindows2000(platform::Current().GetVersion())) {
    return SetSecurity(RPC_C_AUTHN_LEVEL_DEFAULT, nullptr);
  }
  // Windows 2000 needs an explicit authentication list for NTLM and Kerberos;
  // it lives only for the call.
  auto user = MakeIdentityText("MyUser");
  auto domain = MakeIdentityText("MyDomain ");
  auto password = MakeIdentityText("");
  SEC_WINNT_AUTH_IDENTITY_W identity{};
  identity.User = user.units;
  identity.UserLength = decltype(user)::kLength;
  identity.Domain = domain.units;
  identity.DomainLength = decltype(domain)::kLength;
  identity.Password = password.units;
  identity.PasswordLength = decltype(password)::kLength;
  identity.Flags = SEC_WINNT_AUTH_IDENTITY_UNICODE;

  SOLE_AUTHENTICATION_INFO services[2] = {
      {RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, &identity},
      {RPC_C_AUTHN_GSS_KERBEROS, RPC_C_AUTHZ_NONE, &identity},
  };
  SOLE_AUTHENTICATION_LIST list{2, services};
  return SetSecurity(RPC_C_AUTHN_LEVEL_CALL, &list);
}

}  // namespace vrel
