// The registry's C functions. Each runs its C++ code inside one guard that
// turns whatever it throws into an error code; a failed enroll rolls back.
#include "vrel/registry/c/vrel_registry.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "vrel/c/c_guard.h"
#include "vrel/registry/licences/licence_report.h"
#include "vrel/registry/registry.h"
#include "vrel/registry/report.h"

static_assert(VREL_REGISTRY_MAX_RESULT_LENGTH == vrel::registry::kMaxVerdictJsonLength,
              "the header's result bound is stale");
static_assert(VREL_REGISTRY_MAX_ACTIVATION_LENGTH == vrel::registry::kMaxActivationJsonLength,
              "the header's activation bound is stale");
static_assert(int{VREL_REGISTRY_E_MALFORMED_TOKEN} == int{VREL_E_MALFORMED_TOKEN} &&
                  int{VREL_REGISTRY_E_UNSUPPORTED_VERSION} == int{VREL_E_UNSUPPORTED_VERSION} &&
                  int{VREL_REGISTRY_E_OUT_OF_MEMORY} == int{VREL_E_OUT_OF_MEMORY},
              "the codes shared with vrel_c.h differ");

struct vrel_registry {
  std::unique_ptr<vrel::registry::Storage> storage;
  std::unique_ptr<vrel::registry::Registry> registry;
  std::unique_ptr<vrel::SigningKey> signer;  // activate's, when opened with one
  std::string error;
};

namespace {

using vrel::c::Deliver;
using vrel::registry::StorageError;

// Inside a catch block: a storage failure's or a signing key's code, its
// text kept in `error` for vrel_registry_last_error; anything else is thrown on.
int StorageFailure(std::string& error) {
  try {
    throw;
  } catch (const StorageError& e) {
    error = e.what();
    return VREL_REGISTRY_E_STORAGE;
  } catch (const vrel::KeyFileError& e) {
    error = e.what();
    return VREL_REGISTRY_E_SIGNING_KEY;
  }
}

// `text` (the reason of a failed open) into the caller's `error`, cut to fit.
void CopyReason(const std::string& text, char* error, size_t error_size) {
  if (error == nullptr || error_size == 0) return;
  const size_t n = std::min(text.size(), error_size - 1);
  std::memcpy(error, text.data(), n);
  error[n] = '\0';
}

// The guard of every call on a handle.
template <typename Body>
int Guarded(vrel_registry* handle, Body body) noexcept {
  handle->error.clear();
  return vrel::c::Guarded(body, [handle] { return StorageFailure(handle->error); });
}

int Verdict(vrel_registry* registry, const char* token, char* out, size_t out_size, bool enroll) {
  if (registry == nullptr || token == nullptr || (out == nullptr && out_size != 0)) {
    return VREL_REGISTRY_E_NULL_ARGUMENT;
  }
  if (enroll && out_size <= VREL_REGISTRY_MAX_RESULT_LENGTH)
    return VREL_REGISTRY_E_BUFFER_TOO_SMALL;
  return Guarded(registry, [&]() -> int {
    const vrel::ParsedToken parsed = vrel::ParseToken(token);
    if (!parsed.ok) {
      registry->error = parsed.error;
      return parsed.unsupportedVersion ? VREL_REGISTRY_E_UNSUPPORTED_VERSION
                                       : VREL_REGISTRY_E_MALFORMED_TOKEN;
    }
    vrel::registry::Verdict verdict;
    vrel::registry::RunTransaction(*registry->storage, enroll, [&] {
      verdict = enroll ? registry->registry->Enroll(parsed.fingerprint, std::time(nullptr))
                       : registry->registry->Identify(parsed.fingerprint);
    });
    return Deliver(vrel::registry::VerdictJson(verdict, enroll, 0), out, out_size);
  });
}

int Open(const char* uri, int shared_at, const char* signing_key_path, vrel_registry** registry,
         char* error, size_t error_size) {
  if (registry == nullptr) return VREL_REGISTRY_E_NULL_ARGUMENT;
  *registry = nullptr;
  if (uri == nullptr) return VREL_REGISTRY_E_NULL_ARGUMENT;
  if (shared_at < 2) return VREL_REGISTRY_E_BAD_ARGUMENT;
  std::unique_ptr<vrel_registry> handle;
  std::string reason;
  const int rc = vrel::c::Guarded(
      [&] {
        handle.reset(new vrel_registry);
        if (signing_key_path != nullptr)
          handle->signer =
              std::make_unique<vrel::SigningKey>(vrel::SigningKey::Load(signing_key_path));
        handle->storage = vrel::registry::OpenStorage(uri, true);
        vrel::registry::RegistryOptions options;
        options.sharedAt = static_cast<std::size_t>(shared_at);
        handle->registry = std::make_unique<vrel::registry::Registry>(*handle->storage, options);
        return 0;
      },
      [&] { return StorageFailure(reason); });
  if (rc == VREL_REGISTRY_E_STORAGE || rc == VREL_REGISTRY_E_SIGNING_KEY)
    CopyReason(reason, error, error_size);
  if (rc == 0) *registry = handle.release();
  return rc;
}

}  // namespace

extern "C" {

int vrel_registry_open(const char* uri, int shared_at, vrel_registry** registry, char* error,
                       size_t error_size) {
  return Open(uri, shared_at, nullptr, registry, error, error_size);
}

int vrel_registry_open_signing(const char* uri, int shared_at, const char* signing_key_path,
                               vrel_registry** registry, char* error, size_t error_size) {
  if (signing_key_path == nullptr) {
    if (registry != nullptr) *registry = nullptr;
    return VREL_REGISTRY_E_NULL_ARGUMENT;
  }
  return Open(uri, shared_at, signing_key_path, registry, error, error_size);
}

int vrel_registry_activate(vrel_registry* registry, const char* licence_key, const char* token,
                           char* out, size_t out_size) {
  if (registry == nullptr || licence_key == nullptr || token == nullptr ||
      (out == nullptr && out_size != 0)) {
    return VREL_REGISTRY_E_NULL_ARGUMENT;
  }
  if (out_size <= VREL_REGISTRY_MAX_ACTIVATION_LENGTH) return VREL_REGISTRY_E_BUFFER_TOO_SMALL;
  return Guarded(registry, [&]() -> int {
    if (!registry->signer) {
      registry->error = "the handle was opened without a signing key";
      return VREL_REGISTRY_E_SIGNING_KEY;
    }
    const vrel::ParsedToken parsed = vrel::ParseToken(token);
    if (!parsed.ok) {
      registry->error = parsed.error;
      return parsed.unsupportedVersion ? VREL_REGISTRY_E_UNSUPPORTED_VERSION
                                       : VREL_REGISTRY_E_MALFORMED_TOKEN;
    }
    vrel::registry::Activation activation;
    vrel::registry::RunTransaction(*registry->storage, true, [&] {
      activation = vrel::registry::Activate(*registry->registry, *registry->signer, licence_key,
                                            parsed.fingerprint, std::time(nullptr));
    });
    return Deliver(vrel::registry::ActivationJson(activation, 0), out, out_size);
  });
}

void vrel_registry_close(vrel_registry* registry) { delete registry; }

int vrel_registry_enroll(vrel_registry* registry, const char* token, char* out, size_t out_size) {
  return Verdict(registry, token, out, out_size, true);
}

int vrel_registry_identify(vrel_registry* registry, const char* token, char* out, size_t out_size) {
  return Verdict(registry, token, out, out_size, false);
}

int vrel_registry_stats(vrel_registry* registry, char* out, size_t out_size) {
  if (registry == nullptr || (out == nullptr && out_size != 0))
    return VREL_REGISTRY_E_NULL_ARGUMENT;
  return Guarded(registry, [&] {
    vrel::registry::Transaction transaction(*registry->storage, false);
    auto& storage = *registry->storage;
    const std::string text = vrel::registry::StatsJson(
        storage.MachineCount(), storage.Shared(registry->registry->options().sharedAt));
    transaction.Commit();
    return Deliver(text, out, out_size);
  });
}

const char* vrel_registry_last_error(const vrel_registry* registry) {
  return registry == nullptr ? "" : registry->error.c_str();
}

const char* vrel_registry_error_text(int code) {
  switch (code) {
    case VREL_REGISTRY_E_NULL_ARGUMENT:
      return "a pointer argument is NULL";
    case VREL_REGISTRY_E_MALFORMED_TOKEN:
      return "the token is not one vrel made";
    case VREL_REGISTRY_E_UNSUPPORTED_VERSION:
      return "the token's version is not supported";
    case VREL_REGISTRY_E_OUT_OF_MEMORY:
      return "out of memory";
    case VREL_REGISTRY_E_STORAGE:
      return "the registry's database failed";
    case VREL_REGISTRY_E_BAD_ARGUMENT:
      return "shared_at must be at least 2";
    case VREL_REGISTRY_E_BUFFER_TOO_SMALL:
      return "the result buffer is smaller than the call's bound + 1";
    case VREL_REGISTRY_E_SIGNING_KEY:
      return "no usable licence signing key";
    default:
      return "internal error";
  }
}

}  // extern "C"
