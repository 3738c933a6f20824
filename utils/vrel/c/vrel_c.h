/* vrel's C interface: this machine's keyed fingerprint token, token
 * comparison, the raw components, the licence check and activation at the
 * licence server, for any language
 * that can call a C function in a shared library (libvrel.so, vrel.dll). C99
 * and C++; no C++ type and no exception crosses it. The tokens are those of
 * `vreltest fingerprint --key KEY`.
 *
 * Calling convention: cdecl on 32-bit Windows (declared explicitly, so a
 * compiler whose default is stdcall still calls these right); the platform's
 * C convention elsewhere. The DLL exports the undecorated names.
 *
 * Length convention (vrel_fingerprint, vrel_components_json,
 * vrel_licence_verify): the text and its terminating NUL are written only
 * when `size` exceeds the text's length; the length (without the NUL) is
 * returned whether or not it fit, and nothing is written when it does not.
 * Passing NULL and 0 asks for the length alone:
 *     int n = vrel_fingerprint(key, key_size, NULL, 0);
 *     if (n < 0) ... an error: n is no size
 *     char* token = malloc((size_t)n + 1);
 *     if (token == NULL || vrel_fingerprint(key, key_size, token, (size_t)n + 1) != n) ...
 * The machine can change between two calls (an adapter plugged in), so check
 * the second result too; a token always fits in VREL_MAX_TOKEN_LENGTH + 1.
 * On failure a function returns a negative VREL_E_* code and writes nothing.
 *
 * Threads: every function may be called from any thread at any time, also at
 * once, except from DllMain (reading the machine takes locks the loader may
 * hold). Nothing is cached: each call reads the machine afresh.
 *
 * Returned `const char*` texts are static: never free or modify them.
 * A NULL pointer (but the length query's) is answered with VREL_E_NULL_ARGUMENT.
 */
#ifndef VREL_C_VREL_C_H
#define VREL_C_VREL_C_H

#include <stddef.h>

#include "vrel/version.h"

#ifdef _WIN32
#define VREL_CALL __cdecl
#if defined(VREL_C_EXPORTS)
#define VREL_API __declspec(dllexport)
#elif !defined(VREL_C_STATIC)
/* A program that uses vrel.dll imports the functions; define VREL_C_STATIC
 * when the C interface's code is linked into the program itself. */
#define VREL_API __declspec(dllimport)
#endif
#else
#define VREL_CALL
#endif
#ifndef VREL_API
#define VREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The longest token (version 1), without its NUL. */
#define VREL_MAX_TOKEN_LENGTH 1160

/* Error codes: fixed values, part of the interface. */
enum {
  VREL_E_NULL_ARGUMENT = -1,       /* a pointer argument is NULL */
  VREL_E_EMPTY_KEY = -2,           /* key_size is 0 */
  VREL_E_MALFORMED_TOKEN = -3,     /* a token is not one vrel made */
  VREL_E_UNSUPPORTED_VERSION = -4, /* a token of a version this release cannot read */
  VREL_E_OUT_OF_MEMORY = -5,
  VREL_E_INTERNAL = -6, /* anything else that went wrong inside */
  /* vrel_activate and vrel_deactivate: */
  VREL_E_BAD_URL = -7,            /* the server address is not an http:// or https:// URL */
  VREL_E_NO_CONNECTION = -8,      /* no network, the connection refused or broken */
  VREL_E_NAME_NOT_RESOLVED = -9,  /* the server's host name does not resolve */
  VREL_E_CERTIFICATE = -10,       /* the server's certificate was refused */
  VREL_E_TIMEOUT = -11,           /* the connection or the exchange took too long */
  VREL_E_REFUSED = -12,           /* 403: the server refused; "reason" says why */
  VREL_E_TOO_MANY_REQUESTS = -13, /* 429: "retryAfter" says when to ask again */
  VREL_E_BAD_REQUEST = -14,       /* 400: the server could not read the request */
  VREL_E_SERVER_ERROR = -15,      /* 5xx: the server or its database failed */
  VREL_E_BAD_ANSWER = -16,        /* another status, or not the expected JSON */
  VREL_E_NOT_VALID = -17,         /* the returned licence file failed the check asked for */
  VREL_E_WRITE_FAILED = -18       /* the licence file could not be written (the old one kept) */
};

/* The library's version, "MAJOR.MINOR.PATCH": the VREL_VERSION the library was built with,
 * which a program compiled against another header can compare with its own. */
VREL_API const char* VREL_CALL vrel_version(void);

/* This machine's token under the application's secret key (key_size bytes,
 * any values, at least one), with the length convention above. Errors:
 * VREL_E_NULL_ARGUMENT (key, or token with token_size > 0), VREL_E_EMPTY_KEY. */
VREL_API int VREL_CALL vrel_fingerprint(const char* key, size_t key_size, char* token,
                                        size_t token_size);

/* Two NUL-terminated tokens made under one key (a stored one and the one a
 * client sent): 1 same machine, 0 different machine, by the library's default
 * rule. No key needed. Errors: VREL_E_NULL_ARGUMENT, VREL_E_MALFORMED_TOKEN,
 * VREL_E_UNSUPPORTED_VERSION. */
VREL_API int VREL_CALL vrel_compare(const char* stored, const char* current);

/* A stored token against this machine under key: 1 same machine, 0 different.
 * Errors: those of vrel_fingerprint and vrel_compare. */
VREL_API int VREL_CALL vrel_match(const char* key, size_t key_size, const char* stored);

/* This machine's raw component values as one line of JSON (schema 1, as
 * `vreltest components --json` prints it), with the length convention above. Personal data: for the
 * machine's owner, never for a server. Errors: VREL_E_NULL_ARGUMENT (out with out_size > 0). */
VREL_API int VREL_CALL vrel_components_json(char* out, size_t out_size);

/* A licence file's text (licence_size bytes, as read from the file) checked for this machine and
 * application (NUL-terminated), under the application's secret key: signed by one of
 * public_keys (NUL-terminated public key texts, one a line), this machine's, within its times.
 * state_path (NULL or "": none) names the file that keeps the latest time a check saw, made when
 * missing. The result is one line of JSON with the length convention above:
 * {"schema":1,"valid":true,"reason":"valid","text":"...","detail":"","licence":{...}}; "reason"
 * is one of the names of docs/licensing.md. Each call checks anew (and records the time), so
 * a length query followed by the call checks twice. Errors: VREL_E_NULL_ARGUMENT (a text, or
 * result with result_size > 0), VREL_E_EMPTY_KEY. */
VREL_API int VREL_CALL vrel_licence_verify(const char* licence, size_t licence_size,
                                           const char* public_keys, const char* key,
                                           size_t key_size, const char* application,
                                           const char* state_path, char* result,
                                           size_t result_size);

/* Activation at the licence server. `size` is sizeof(vrel_activation_options) as the caller was
 * compiled; members past it (added by a later release) take their defaults, as do zeros and NULLs.
 * Timeouts are in milliseconds. */
typedef struct vrel_activation_options {
  size_t size;
  int connect_timeout_ms;  /* reaching the server, TLS included; 0: 10000 */
  int timeout_ms;          /* the whole exchange; 0: 30000 */
  const char* ca_file;     /* a PEM file of certificates to trust instead of the system's store
                              (Linux; Windows trusts its own store and ignores it); NULL: none */
  const char* public_keys; /* trusted public key texts, one a line: the returned file is checked
                              as vrel_licence_verify does before it is written; NULL: no check */
  const char* application; /* with public_keys: the application's name */
  const char* state_path;  /* with public_keys: as vrel_licence_verify's; NULL: none */
} vrel_activation_options;

/* The most a result of vrel_activate or vrel_deactivate can hold (without its NUL). */
#define VREL_MAX_ACTIVATION_RESULT 787456

/* Activates this machine (or checks it in: the same call again) for the customer's licence key
 * (NUL-terminated) at server_url (the server's base, "https://licences.example.com"), the token
 * made under the application's secret key (key_size bytes); options NULL takes the defaults. The
 * licence file the server returns replaces the one at licence_path, written beside it and
 * renamed over it, so that a failure leaves the old file whole.
 * Unlike the length convention, the result is a code: 0 activated, or a negative VREL_E_* code.
 * Either way, when result_size exceeds its length, result receives one line of JSON (a buffer of
 * VREL_MAX_ACTIVATION_RESULT + 1 bytes always fits; a smaller one may get nothing):
 * {"schema":1,"error":"refused","text":"the server refused the licence","status":403,
 *  "reason":"no-seat","message":"...","retryAfter":0,"answer":{...}}
 * "error" is "none" or the code's name, "status" the HTTP status (0: none came), "reason" the
 * server's refusal (or the check's verdict for VREL_E_NOT_VALID), "retryAfter" the seconds to wait
 * after VREL_E_TOO_MANY_REQUESTS, "answer" the server's JSON object as it came (null when none).
 * Nothing is written to result for VREL_E_NULL_ARGUMENT (server_url, licence_key, key,
 * licence_path, or result with result_size > 0), VREL_E_EMPTY_KEY, VREL_E_OUT_OF_MEMORY and
 * VREL_E_INTERNAL. Each call asks the server anew. */
VREL_API int VREL_CALL vrel_activate(const char* server_url, const char* licence_key,
                                     const char* key, size_t key_size, const char* licence_path,
                                     const vrel_activation_options* options, char* result,
                                     size_t result_size);

/* Gives this machine's seat of licence_key back; no file is touched. Codes and result as
 * vrel_activate's (public_keys and the members after it are not used). */
VREL_API int VREL_CALL vrel_deactivate(const char* server_url, const char* licence_key,
                                       const char* key, size_t key_size,
                                       const vrel_activation_options* options, char* result,
                                       size_t result_size);

/* A static English text for a VREL_E_* code; a generic one for any other. */
VREL_API const char* VREL_CALL vrel_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif /* VREL_C_VREL_C_H */
