#pragma once
// A thread-safe list of counted interface references: each operation takes the list's lock, so
// lists shared between threads stay consistent; sequences of operations are the caller's to guard.

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

#include "framework/Interface.h"

namespace veltra {

template <class T>
class TInterfaceList {
 public:
  size_t Count() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }
  // Null when index is out of range.
  ComPtr<T> Get(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < items_.size() ? items_[index] : nullptr;
  }
  void Put(size_t index, ComPtr<T> item) {
    std::lock_guard lock(mutex_);
    if (index < items_.size()) items_[index] = std::move(item);
  }
  void Add(ComPtr<T> item) {
    std::lock_guard lock(mutex_);
    items_.push_back(std::move(item));
  }
  // Inserts before index; at the end when index is the count or beyond.
  void Insert(size_t index, ComPtr<T> item) {
    std::lock_guard lock(mutex_);
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())),
                  std::move(item));
  }
  void Exchange(size_t a, size_t b) {
    std::lock_guard lock(mutex_);
    if (a < items_.size() && b < items_.size()) std::swap(items_[a], items_[b]);
  }
  // The index of the first entry that is `item` (same object), or -1.
  std::ptrdiff_t IndexOf(IInterface* item) const {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < items_.size(); ++i) {
      if (SameObject(items_[i].Get(), item)) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  // The index of the last entry that is `item`, or -1.
  std::ptrdiff_t LastIndexOf(IInterface* item) const {
    std::lock_guard lock(mutex_);
    for (size_t i = items_.size(); i-- > 0;) {
      if (SameObject(items_[i].Get(), item)) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }
  // Removes the entry at `index` and hands it to the caller (null when out of range).
  ComPtr<T> RemoveAt(size_t index) {
    std::lock_guard lock(mutex_);
    if (index >= items_.size()) return nullptr;
    ComPtr<T> removed = std::move(items_[index]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    return removed;
  }
  // Removes the first entry that is `item` (same object); answers its former index or -1.
  std::ptrdiff_t Remove(IInterface* item) {
    ComPtr<T> removed;  // released after the lock is let go: its destruction may call back
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < items_.size(); ++i) {
      if (SameObject(items_[i].Get(), item)) {
        removed = std::move(items_[i]);
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
        return static_cast<std::ptrdiff_t>(i);
      }
    }
    return -1;
  }
  // Null when the list is empty.
  ComPtr<T> Last() const {
    std::lock_guard lock(mutex_);
    return items_.empty() ? nullptr : items_.back();
  }
  void Clear() {
    std::vector<ComPtr<T>> released;  // released outside the lock
    {
      std::lock_guard lock(mutex_);
      released.swap(items_);
    }
  }
  // Replaces the whole content.
  void Assign(std::vector<ComPtr<T>> items) {
    {
      std::lock_guard lock(mutex_);
      items.swap(items_);
    }
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ComPtr<T>> items_;
};

}  // namespace veltra
