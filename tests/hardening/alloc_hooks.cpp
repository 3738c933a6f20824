// Allocation counting and failure injection for the whole test process. On
// glibc without a sanitizer malloc, calloc, realloc and free are replaced
// (operator new reaches them, and so do the Linux stand-in's BSTRs);
// elsewhere operator new and delete are. On 32-bit Windows the executable's
// import of oleaut32's SysAllocString is redirected too, so that the real
// BSTR allocator can be the one that fails.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VREL_SANITIZED 1
#endif
#endif
#if defined(__GLIBC__) && !defined(VREL_SANITIZED)
#define VREL_HOOK_MALLOC 1
#endif
#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__)
#define VREL_HOOK_SYSALLOCSTRING 1
#include <windows.h>
#include <oleauto.h>
#endif

namespace vrel::test::alloc {
namespace {

std::atomic<bool> armed{false}, fired{false};
std::atomic<std::int64_t> remaining{0}, live{0};

// Counts one allocation; true when it is the one to fail.
bool TakeFailure() {
  if (!armed.load(std::memory_order_relaxed) || remaining.fetch_sub(1) != 1) return false;
  fired = true;
  return true;
}

void* Counted(void* block) {
  if (block != nullptr) ++live;
  return block;
}

}  // namespace

// True when a BSTR allocation can be the one that fails.
bool FailsBstrs() {
#if defined(VREL_HOOK_MALLOC) || defined(VREL_HOOK_SYSALLOCSTRING)
  return true;
#else
  return false;
#endif
}

// From now on the n-th allocation (n >= 1) fails, and only that one.
void Arm(std::int64_t n) {
  fired = false;
  remaining = n;
  armed = true;
}

// Stops counting; whether the armed failure happened.
bool Disarm() {
  armed = false;
  return fired;
}

// Blocks allocated through the hooks and not yet freed (not oleaut32's BSTRs).
std::int64_t Live() { return live; }

}  // namespace vrel::test::alloc

using vrel::test::alloc::Counted;
using vrel::test::alloc::TakeFailure;

#ifdef VREL_HOOK_MALLOC

// glibc's allocator under its internal names.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) {
  if (TakeFailure()) return errno = ENOMEM, nullptr;
  return Counted(__libc_malloc(size));
}
void* calloc(std::size_t count, std::size_t size) {
  if (TakeFailure()) return errno = ENOMEM, nullptr;
  return Counted(__libc_calloc(count, size));
}
void free(void* block) {
  if (block != nullptr) --vrel::test::alloc::live;
  __libc_free(block);
}
void* realloc(void* block, std::size_t size) {
  if (block == nullptr) return malloc(size);
  if (size == 0) return free(block), nullptr;
  if (TakeFailure()) return errno = ENOMEM, nullptr;
  return __libc_realloc(block, size);  // one block before and after
}
}  // extern "C"

#else  // operator new and delete

namespace {
void* Allocate(std::size_t size) {
  return TakeFailure() ? nullptr : Counted(std::malloc(size != 0 ? size : 1));
}
void* OrThrow(void* block) { return block != nullptr ? block : throw std::bad_alloc(); }
void Free(void* block) {
  if (block != nullptr) --vrel::test::alloc::live;
  std::free(block);
}
}  // namespace

void* operator new(std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }

#endif  // VREL_HOOK_MALLOC

#ifdef VREL_HOOK_SYSALLOCSTRING

// Every dllimport call goes through the import address table: the slot of
// SysAllocString serves the library's calls and the test doubles' alike.
extern "C" BSTR(WINAPI* vrelImportedSysAllocString)(const OLECHAR*) __asm__(
    "__imp__SysAllocString@4");

namespace {
BSTR(WINAPI* realSysAllocString)(const OLECHAR*) = nullptr;
BSTR WINAPI FailingSysAllocString(const OLECHAR* text) {
  return TakeFailure() ? nullptr : realSysAllocString(text);
}
struct ImportPatch {
  ImportPatch() {
    DWORD protection = 0;
    void* slot = reinterpret_cast<void*>(&vrelImportedSysAllocString);
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) std::abort();
    realSysAllocString = vrelImportedSysAllocString;
    vrelImportedSysAllocString = FailingSysAllocString;
    VirtualProtect(slot, sizeof(void*), protection, &protection);
  }
} importPatch;
}  // namespace

#endif  // VREL_HOOK_SYSALLOCSTRING
