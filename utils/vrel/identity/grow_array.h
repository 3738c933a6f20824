// GrowArray: a growable array of plain records that grows in whole steps.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>
#include <new>

namespace vrel {

// Holds `count` elements in use inside `capacity` allocated ones; storage is
// one array of default-constructed elements, grown in multiples of `step` and
// never shrunk except by Clear. The fields are public for inspection; change
// them only through the operations.
template <typename T>
class GrowArray {
 public:
  int count = 0;               // elements in use
  const int step;              // grow step, greater than 0
  int capacity = 0;            // elements allocated
  std::unique_ptr<T[]> items;  // the storage; null while capacity is 0

  // An empty array without storage. A step below 1 is taken as 1.
  explicit GrowArray(int growStep) : step(growStep > 0 ? growStep : 1) {}
  GrowArray(const GrowArray&) = delete;
  GrowArray& operator=(const GrowArray&) = delete;
  ~GrowArray() { Clear(); }

  int GetCount() const { return count; }

  // The element at `index`, which the caller keeps within 0..count-1.
  T* GetItem(int index) { return &items[index]; }
  const T* GetItem(int index) const { return &items[index]; }

  // Sets the number of elements in use to n. Above the capacity the storage
  // grows to n rounded up to the next multiple of `step` strictly above n,
  // keeping the elements in use; the new spare elements are default-constructed.
  // A smaller n only lowers `count`. A negative n changes nothing. Throws
  // std::bad_alloc (the array unchanged) when the storage cannot be obtained
  // or its size does not fit an int.
  void SetSize(int n) {
    if (n < 0) return;
    if (n > capacity) Grow(n);
    count = n;
  }

  // Appends a copy of `element`.
  void Add(const T& element) {
    const T copy = element;  // `element` may live inside the storage that grows
    SetSize(count + 1);
    items[count - 1] = copy;
  }

  // Frees the storage; the array stays usable with its step.
  void Clear() {
    items.reset();
    capacity = 0;
    count = 0;
  }

 private:
  void Grow(int n) {
    const int extra = step - n % step;
    if (n > std::numeric_limits<int>::max() - extra) throw std::bad_alloc();
    const int newCapacity = n + extra;
    if (static_cast<std::size_t>(newCapacity) > std::numeric_limits<std::size_t>::max() / sizeof(T))
      throw std::bad_alloc();
    std::unique_ptr<T[]> storage(new T[static_cast<std::size_t>(newCapacity)]);
    for (int i = 0; i < count; ++i) storage[i] = items[i];
    items = std::move(storage);
    capacity = newCapacity;
  }
};

}  // namespace vrel
