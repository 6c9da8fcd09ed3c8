#pragma once
// The library's own growable array. Two element types are in use: bytes (pixel buffers)
// and nk::string (path components). Storage beyond size is raw; elements move between
// buffers with their move constructor.

#include <stdint.h>
#include <string.h>

#include <new>

namespace nk {
namespace detail {

template <class T>
T* vector_allocate(uint64_t n) {
  return n == 0 ? nullptr : static_cast<T*>(::operator new(n * sizeof(T)));
}

}  // namespace detail

template <class T>
class vector {
 public:
  T* data = nullptr;
  uint64_t size = 0;
  uint64_t capacity = 0;

  vector() = default;
  vector(const vector&) = delete;
  vector& operator=(const vector&) = delete;
  ~vector() {
    clear();
    ::operator delete(data);
  }

  // Destroys the elements from the last to the first; the storage stays.
  void clear() {
    while (size != 0) data[--size].~T();
  }

  void reserve(uint64_t n) {
    if (capacity >= n) return;
    T* storage = detail::vector_allocate<T>(n);
    for (uint64_t i = 0; i < size; ++i) {
      new (storage + i) T(static_cast<T&&>(data[i]));
      data[i].~T();
    }
    ::operator delete(data);
    data = storage;
    capacity = n;
  }

  // Byte vectors: grows with zeroed elements, or shrinks keeping the storage.
  void resize(uint64_t n) {
    if (n <= size) {
      size = n;
      return;
    }
    reserve(n);
    memset(data + size, 0, (n - size) * sizeof(T));
    size = n;
  }

  // Byte vectors: inserts [first, last) before pos, which lies in [data, data + size].
  // The range must not point into this vector's own storage.
  T* insert(T* pos, const T* first, const T* last) {
    uint64_t index = data ? uint64_t(pos - data) : size;
    if (first == last) return data ? data + index : nullptr;
    uint64_t count = uint64_t(last - first);
    uint64_t need = size + count;
    if (need > capacity) {
      uint64_t grown = capacity == 0 ? 4 : capacity;
      while (grown < need) grown *= 2;
      reserve(grown);
    }
    memmove(data + index + count, data + index, (size - index) * sizeof(T));
    memcpy(data + index, first, count * sizeof(T));
    size = need;
    return data + index;
  }

  void assign(const T* first, const T* last) {
    size = 0;
    insert(data, first, last);
  }

  T& emplace_back(const T& value) {
    if (size == capacity) reserve(size == 0 ? 4 : 2 * size);
    T* slot = new (data + size) T(value);
    ++size;
    return *slot;
  }

  void pop_back() { data[--size].~T(); }
};

}  // namespace nk
