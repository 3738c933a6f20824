/* vrel's C interface: this machine's keyed fingerprint token, token
 * comparison, the raw components and the licence check, for any language
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
  VREL_E_INTERNAL = -6 /* anything else that went wrong inside */
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

/* A static English text for a VREL_E_* code; a generic one for any other. */
VREL_API const char* VREL_CALL vrel_error_text(int code);

#ifdef __cplusplus
}
#endif

#endif /* VREL_C_VREL_C_H */
