/* The registry's C interface (libvrel_registry.so, native Linux): identify a
 * client's token among a fleet's and enroll it, in SQLite or PostgreSQL, and
 * activate licences, for servers in any language that calls C. The results are the JSON objects
 * vrel-registry prints, without "line". The registry sees only tokens, never the application key.
 *
 * Length convention, as vrel_c.h: the text and its NUL are written only when
 * `out_size` exceeds its length; the length is returned whether or not it fit.
 * vrel_registry_enroll changes the registry, so it never needs a second call:
 * give it a buffer of VREL_REGISTRY_MAX_RESULT_LENGTH + 1 bytes; with a smaller
 * one it returns VREL_REGISTRY_E_BUFFER_TOO_SMALL and changes nothing (and so
 * for vrel_registry_activate and VREL_REGISTRY_MAX_ACTIVATION_LENGTH).
 * On failure a function returns a negative code and writes nothing.
 *
 * Threads: one handle per thread. A handle may move between threads but is
 * never used by two at once; several handles (in one process or many) may
 * use one database together.
 */
#ifndef VREL_REGISTRY_C_VREL_REGISTRY_H
#define VREL_REGISTRY_C_VREL_REGISTRY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The longest result of enroll and identify, without its NUL. */
#define VREL_REGISTRY_MAX_RESULT_LENGTH 2048

/* The longest result of vrel_registry_activate, without its NUL. */
#define VREL_REGISTRY_MAX_ACTIVATION_LENGTH 16384

/* Error codes; the first six have the values of vrel_c.h's VREL_E_*. */
enum {
  VREL_REGISTRY_E_NULL_ARGUMENT = -1,
  VREL_REGISTRY_E_MALFORMED_TOKEN = -3,     /* = VREL_E_MALFORMED_TOKEN */
  VREL_REGISTRY_E_UNSUPPORTED_VERSION = -4, /* = VREL_E_UNSUPPORTED_VERSION */
  VREL_REGISTRY_E_OUT_OF_MEMORY = -5,
  VREL_REGISTRY_E_INTERNAL = -6,
  VREL_REGISTRY_E_STORAGE = -20,      /* the database failed: vrel_registry_last_error says how */
  VREL_REGISTRY_E_BAD_ARGUMENT = -21, /* shared_at below 2 */
  VREL_REGISTRY_E_BUFFER_TOO_SMALL = -22, /* enroll's or activate's buffer: see above */
  VREL_REGISTRY_E_SIGNING_KEY = -23 /* no usable signing key: see vrel_registry_open_signing */
};

typedef struct vrel_registry vrel_registry;

/* Opens the registry at `uri` ("sqlite:PATH" or a plain path: a SQLite file;
 * "postgresql://..." or "postgres://...": a PostgreSQL database, libpq's URI;
 * any other scheme is refused), creating it when missing, with the sharing
 * threshold `shared_at` (3 is the tool's default). 0 and *registry set, or a negative code and
 * *registry NULL; on VREL_REGISTRY_E_STORAGE the reason goes to `error` (truncated to error_size -
 * 1 characters; `error` may be NULL). */
int vrel_registry_open(const char* uri, int shared_at, vrel_registry** registry, char* error,
                       size_t error_size);

/* vrel_registry_open with the licence signing key that vrel_registry_activate
 * signs with: the PEM file `vrel-registry keygen` wrote, which only its owner
 * may read. A key file that is missing, not a P-256 private key or readable
 * by group or others gives VREL_REGISTRY_E_SIGNING_KEY, its reason in `error`. */
int vrel_registry_open_signing(const char* uri, int shared_at, const char* signing_key_path,
                               vrel_registry** registry, char* error, size_t error_size);

/* Closes a handle (NULL is ignored). */
void vrel_registry_close(vrel_registry* registry);

/* Identifies `token` and stores it (committed before the call returns). */
int vrel_registry_enroll(vrel_registry* registry, const char* token, char* out, size_t out_size);

/* Identifies `token`, changing nothing. */
int vrel_registry_identify(vrel_registry* registry, const char* token, char* out, size_t out_size);

/* Identifies `token` as enroll does and gives its machine a seat of the
 * licence whose key is `licence_key`, or checks in the seat it holds; the
 * result is `vrel-registry activate`'s object: {"schema":2,"activated":true,
 * ...,"licenceFile":"..."} or {"schema":2,"activated":false,"reason":"...",
 * "message":"..."} (a refusal is a result, and stores nothing). Changes the
 * registry: give VREL_REGISTRY_MAX_ACTIVATION_LENGTH + 1 bytes, as for enroll.
 * A handle opened without a signing key gives VREL_REGISTRY_E_SIGNING_KEY. */
int vrel_registry_activate(vrel_registry* registry, const char* licence_key, const char* token,
                           char* out, size_t out_size);

/* The machine count and the shared digests, as `vrel-registry stats`. */
int vrel_registry_stats(vrel_registry* registry, char* out, size_t out_size);

/* The text of the handle's last VREL_REGISTRY_E_STORAGE or token refusal; "" before any.
 * Valid until the next call on the handle. */
const char* vrel_registry_last_error(const vrel_registry* registry);

/* A static English text for a code. */
const char* vrel_registry_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif /* VREL_REGISTRY_C_VREL_REGISTRY_H */
