#include "alloc_hooks.h"

#include <atomic>
#include <cerrno>
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

// Plain atomics: usable before any constructor runs and from any thread.
std::atomic<bool> armed{false};
std::atomic<bool> fired{false};
std::atomic<std::int64_t> remaining{0};
std::atomic<std::int64_t> live{0};

// Counts one allocation; true when it is the one to fail.
bool TakeFailure() {
  if (!armed.load(std::memory_order_relaxed)) return false;
  if (remaining.fetch_sub(1, std::memory_order_relaxed) != 1) return false;
  fired.store(true, std::memory_order_relaxed);
  return true;
}

}  // namespace

bool FailsBstrs() {
#if defined(VREL_HOOK_MALLOC) || defined(VREL_HOOK_SYSALLOCSTRING)
  return true;
#else
  return false;
#endif
}

void Arm(std::int64_t n) {
  fired = false;
  remaining = n;
  armed = true;
}

bool Disarm() {
  armed = false;
  return fired;
}

std::int64_t Live() { return live.load(); }

}  // namespace vrel::test::alloc

using vrel::test::alloc::live;
using vrel::test::alloc::TakeFailure;

#ifdef VREL_HOOK_MALLOC

// glibc's own allocator under its internal names.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

namespace {
void* Counted(void* block) {
  if (block != nullptr) ++live;
  return block;
}
}  // namespace

void* malloc(std::size_t size) {
  if (TakeFailure()) {
    errno = ENOMEM;
    return nullptr;
  }
  return Counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
  if (TakeFailure()) {
    errno = ENOMEM;
    return nullptr;
  }
  return Counted(__libc_calloc(count, size));
}

void* realloc(void* block, std::size_t size) {
  if (block == nullptr) return malloc(size);
  if (size == 0) {
    free(block);
    return nullptr;
  }
  if (TakeFailure()) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(block, size);  // one block before and after
}

void* memalign(std::size_t alignment, std::size_t size) {
  if (TakeFailure()) {
    errno = ENOMEM;
    return nullptr;
  }
  return Counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

void free(void* block) {
  if (block != nullptr) --live;
  __libc_free(block);
}
}  // extern "C"

#else  // !VREL_HOOK_MALLOC: replace operator new and delete

namespace {

void* Allocate(std::size_t size) {
  if (TakeFailure()) return nullptr;
  void* block = std::malloc(size != 0 ? size : 1);
  if (block != nullptr) ++live;
  return block;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (TakeFailure()) return nullptr;
  const auto a = static_cast<std::size_t>(alignment);
#ifdef _WIN32
  void* block = _aligned_malloc(size != 0 ? size : 1, a);
#else
  void* block = std::aligned_alloc(a, (size + a - 1) / a * a);
#endif
  if (block != nullptr) ++live;
  return block;
}

void Free(void* block) {
  if (block == nullptr) return;
  --live;
  std::free(block);
}

void FreeAligned(void* block) {
  if (block == nullptr) return;
  --live;
#ifdef _WIN32
  _aligned_free(block);
#else
  std::free(block);
#endif
}

void* OrThrow(void* block) {
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](std::size_t size) { return OrThrow(Allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t a) { return OrThrow(AllocateAligned(size, a)); }
void* operator new[](std::size_t size, std::align_val_t a) {
  return OrThrow(AllocateAligned(size, a));
}
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, a);
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, a);
}

void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete(void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { FreeAligned(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  FreeAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  FreeAligned(block);
}

#endif  // VREL_HOOK_MALLOC

#ifdef VREL_HOOK_SYSALLOCSTRING

// oleaut32's SysAllocString is reached through this executable's import
// address table, like every dllimport function: the library's calls and the
// fakes' go through the slot below. Pointing the slot at a wrapper lets a
// BSTR allocation be the one that fails, as malloc's does natively.
extern "C" BSTR(WINAPI* vrelImportedSysAllocString)(const OLECHAR*) __asm__(
    "__imp__SysAllocString@4");

namespace {

BSTR(WINAPI* realSysAllocString)(const OLECHAR*) = nullptr;

BSTR WINAPI FailingSysAllocString(const OLECHAR* text) {
  if (TakeFailure()) return nullptr;
  return realSysAllocString(text);
}

struct ImportPatch {
  ImportPatch() {
    void* slot = reinterpret_cast<void*>(&vrelImportedSysAllocString);
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection)) std::abort();
    realSysAllocString = vrelImportedSysAllocString;
    vrelImportedSysAllocString = FailingSysAllocString;
    VirtualProtect(slot, sizeof(void*), protection, &protection);
  }
} importPatch;

}  // namespace

#endif  // VREL_HOOK_SYSALLOCSTRING
