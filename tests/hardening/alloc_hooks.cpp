// Allocation counting and failure injection for the whole test process:
// operator new and delete are replaced, and on Windows the executable's
// import of oleaut32's SysAllocString is redirected too, so that
// the real BSTR allocator can be the one that fails.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(_WIN32) && defined(__GNUC__)
#define VREL_HOOK_SYSALLOCSTRING 1
// The import slot's symbol: 32-bit names carry a leading underscore and the
// stdcall argument size, 64-bit names neither.
#if defined(__i386__)
#define VREL_SYSALLOCSTRING_SLOT "__imp__SysAllocString@4"
#else
#define VREL_SYSALLOCSTRING_SLOT "__imp_SysAllocString"
#endif
#include <windows.h>
#include <oleauto.h>
#endif

namespace vrel::test::alloc {
namespace {

std::atomic<bool> armed{false}, fired{false};
std::atomic<std::int64_t> remaining{0}, live{0};

// Counts one allocation; true when it is the one to fail.
bool TakeFailure() {
  if (!armed || remaining.fetch_sub(1) != 1) return false;
  return fired = true;
}

}  // namespace

bool FailsBstrs() {
#ifdef VREL_HOOK_SYSALLOCSTRING
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

std::int64_t Live() { return live; }

void* Allocate(std::size_t size) {
  void* block = TakeFailure() ? nullptr : std::malloc(size != 0 ? size : 1);
  live += block != nullptr ? 1 : 0;
  return block;
}

void* New(std::size_t size) {
  if (void* block = Allocate(size)) return block;
  throw std::bad_alloc();
}

void Free(void* block) {
  live -= block != nullptr ? 1 : 0;
  std::free(block);
}

}  // namespace vrel::test::alloc

using vrel::test::alloc::Allocate;
using vrel::test::alloc::Free;
using vrel::test::alloc::New;

void* operator new(std::size_t size) { return New(size); }
void* operator new[](std::size_t size) { return New(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }

#ifdef VREL_HOOK_SYSALLOCSTRING
// Every dllimport call goes through the import address table: the slot of
// SysAllocString serves the library's calls and the test doubles' alike.
extern "C" BSTR(WINAPI* vrelImportedSysAllocString)(const OLECHAR*) __asm__(
    VREL_SYSALLOCSTRING_SLOT);
namespace {
BSTR(WINAPI* realSysAllocString)(const OLECHAR*) = nullptr;
BSTR WINAPI FailingSysAllocString(const OLECHAR* text) {
  return vrel::test::alloc::TakeFailure() ? nullptr : realSysAllocString(text);
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
#endif
