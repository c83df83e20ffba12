// A process-wide table of shared objects behind handle values. A lookup hands out a shared
// reference, so a call in progress keeps its object alive while another thread closes the handle.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

namespace winlayer {

template <class T>
class HandleTable {
  public:
    // Values are multiples of 4 from `first` on, as Windows hands them out; tables of different
    // kinds start apart so that a handle of one kind finds nothing in another.
    explicit HandleTable(ULONG_PTR first) : next_(first) {}

    ULONG_PTR Add(std::shared_ptr<T> object) {
        std::lock_guard lock(mutex_);
        ULONG_PTR value = next_;
        next_ += 4;
        objects_.emplace(value, std::move(object));
        return value;
    }

    std::shared_ptr<T> Find(ULONG_PTR value) const {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(value);
        return it == objects_.end() ? nullptr : it->second;
    }

    // Removes the entry and returns its object, so that it is destroyed outside the lock; null
    // when the value is not in the table.
    std::shared_ptr<T> Remove(ULONG_PTR value) {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(value);
        if (it == objects_.end())
            return nullptr;
        std::shared_ptr<T> object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

  private:
    mutable std::mutex mutex_;
    std::map<ULONG_PTR, std::shared_ptr<T>> objects_;
    ULONG_PTR next_;
};

}  // namespace winlayer
