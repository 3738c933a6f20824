// Allocation counting and failure injection for the whole test process.
//
// The test executable that links alloc_hooks.cpp replaces the global
// operator new and delete; on glibc without a sanitizer it replaces malloc,
// calloc, realloc and free instead (operator new reaches them), so that the
// Linux stand-in's BSTRs and SAFEARRAYs are counted and can fail too. Under
// AddressSanitizer or ThreadSanitizer, which own malloc, only operator new is
// replaced, and so on Windows, where BSTRs come from oleaut32 (whose
// SysAllocString can fail there too, see FailsBstrs).
#pragma once

#include <cstdint>

namespace vrel::test::alloc {

// True when a BSTR allocation can be the one that fails: natively when malloc
// is replaced (the stand-in's SysAllocString uses it), and on 32-bit Windows,
// where the executable's import of oleaut32's SysAllocString is redirected.
// BSTRs are counted in Live() only natively.
bool FailsBstrs();

// From now on, count allocations and make the n-th one fail (n >= 1): an
// operator new throws std::bad_alloc (a nothrow one returns null), malloc
// returns null. Only that one fails; later ones succeed.
void Arm(std::int64_t n);

// Stops counting. Returns whether the armed failure happened (false: fewer
// than n allocations were made since Arm).
bool Disarm();

// Blocks allocated and not yet freed through the replaced functions.
std::int64_t Live();

}  // namespace vrel::test::alloc
