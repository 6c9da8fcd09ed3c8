#pragma once
// The library's own byte string and string view. A string owns a heap buffer of exactly
// capacity + 1 bytes (no small-buffer storage); bytes are opaque, zero bytes included.
// Other modules read the fields directly.

#include <stdint.h>

namespace nk {

constexpr uint64_t npos = ~uint64_t{0};

// Bytes before the first zero byte; 0 for null.
uint64_t string_length(const char* s);

struct string_view {
  const char* data;
  uint64_t size;

  uint64_t find(char c, uint64_t pos = 0) const;
};

bool operator==(string_view a, string_view b);

class string {
 public:
  char* data = nullptr;
  uint64_t size = 0;
  uint64_t capacity = 0;

  string() = default;
  string(const char* s);
  string(const char* s, uint64_t n);
  string(const string& other);
  string(string&& other);
  ~string();
  string& operator=(const char* s);
  string& operator=(const string&) = delete;
  string& operator=(string&&) = delete;

  void assign(const char* s, uint64_t n);
  void reserve(uint64_t n);
  void push_back(char c);
  string& append(const char* s, uint64_t n);
  string& operator+=(const string& other);
  uint64_t find(char c, uint64_t pos = 0) const;
  string substr(uint64_t pos = 0, uint64_t n = npos) const;

  // The characters: data, or a shared empty literal while there is no buffer.
  const char* chars() const;
  string_view view() const { return {chars(), size}; }

  static char* allocate(uint64_t n);
  void ensure_storage();
  // Whether p points into the bytes in use or at the terminator; stores its offset.
  bool pointer_offset(const char* p, uint64_t& offset) const;

 private:
  void swap(string& other);
};

bool operator==(const string& a, const char* s);
bool operator!=(const string& a, const char* s);

}  // namespace nk
