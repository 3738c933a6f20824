#include "vrel/platform/platform.h"

#include <atomic>

namespace vrel::platform {
namespace {

std::atomic<const Api*>& Slot() {
  static std::atomic<const Api*> slot{nullptr};
  return slot;
}

}  // namespace

const Api& Current() {
  const Api* api = Slot().load(std::memory_order_acquire);
  return api != nullptr ? *api : Real();
}

const Api* Install(const Api* api) {
  const Api* previous = Slot().exchange(api, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &Real();
}

}  // namespace vrel::platform
