/* A licence check in C99 over vrel's C interface. Prints this machine's token
 * under the key given as the first argument (asking for its length first),
 * how the token compares with itself and with this machine, and the code a
 * malformed token gets. Exits 0 when every call answered as documented. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vrel/c/vrel_c.h"

int main(int argc, char** argv) {
  const char* key = argc > 1 ? argv[1] : "example key";
  const size_t key_size = strlen(key);
  const int length = vrel_fingerprint(key, key_size, NULL, 0);
  if (length < 0) {
    fprintf(stderr, "vrel_fingerprint: %s\n", vrel_error_text(length));
    return 1;
  }
  char* token = malloc((size_t)length + 1);
  if (token == NULL) return 1;
  /* A token that grew in between (an adapter plugged in) would not fit. */
  const int written = vrel_fingerprint(key, key_size, token, (size_t)length + 1);
  if (written != length) {
    fprintf(stderr, "vrel_fingerprint: %s\n", written < 0 ? vrel_error_text(written) : "changed");
    free(token);
    return 1;
  }
  const int same = vrel_compare(token, token);
  const int here = vrel_match(key, key_size, token);
  const int malformed = vrel_compare("not a token", token);
  printf("vrel %s\n", vrel_version());
  printf("token: %s\n", token);
  printf("same machine: %d\n", same);
  printf("this machine: %d\n", here);
  printf("malformed token: %d (%s)\n", malformed, vrel_error_text(malformed));
  free(token);
  return same >= 0 && here == same && malformed == VREL_E_MALFORMED_TOKEN ? 0 : 1;
}
