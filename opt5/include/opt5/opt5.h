/* C entry points of the optimal five-input circuit library. The handle is the
   address of a heap cell holding the address of the database; it is never
   freed. Words are library words: bit (31 - j) is the value at input j. */
#ifndef OPT5_OPT5_H
#define OPT5_OPT5_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Builds the database from the 9,241,860 bytes at `bytes` (read only during
   the call) and returns its handle. */
void* create_wrapper(const unsigned char* bytes);

/* Number of gates of an optimal chain for f, 0..12; the stored chain is
   rewritten for f and checked, and a mismatch ends the process. */
uint32_t num_gates(void* handle, uint32_t f);

/* Canonical NPN representative of f. */
uint32_t npn_representant(void* handle, uint32_t f);

#ifdef __cplusplus
}
#endif

#endif
