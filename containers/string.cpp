// nk::string and nk::string_view.

#include "containers/string.h"

#include <new>
#include <string.h>

namespace nk {
namespace {

const char kEmpty[] = "";

}  // namespace

uint64_t string_length(const char* s) {
  if (s == nullptr) return 0;
  uint64_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

uint64_t string_view::find(char c, uint64_t pos) const {
  for (uint64_t i = pos; i < size; ++i)
    if (data[i] == c) return i;
  return npos;
}

bool operator==(string_view a, string_view b) {
  return a.size == b.size && (a.size == 0 || memcmp(a.data, b.data, a.size) == 0);
}

string::string(const char* s) { assign(s, string_length(s)); }

string::string(const char* s, uint64_t n) { assign(s, s ? n : 0); }

string::string(const string& other) { assign(other.chars(), other.size); }

string::string(string&& other) : data(other.data), size(other.size), capacity(other.capacity) {
  other.data = nullptr;
  other.size = 0;
  other.capacity = 0;
}

string::~string() { ::operator delete(data); }

string& string::operator=(const char* s) {
  assign(s, string_length(s));
  return *this;
}

const char* string::chars() const { return data ? data : kEmpty; }

char* string::allocate(uint64_t n) {
  char* buffer = static_cast<char*>(::operator new(n + 1));
  buffer[0] = 0;
  return buffer;
}

void string::ensure_storage() {
  if (data != nullptr) return;
  data = allocate(0);
  capacity = 0;
}

bool string::pointer_offset(const char* p, uint64_t& offset) const {
  if (data == nullptr || p == nullptr) return false;
  // Compared as addresses: p may belong to an unrelated object.
  uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  uintptr_t at = reinterpret_cast<uintptr_t>(p);
  if (at < begin || at - begin > size) return false;
  offset = at - begin;
  return true;
}

void string::swap(string& other) {
  char* d = data;
  uint64_t s = size, c = capacity;
  data = other.data;
  size = other.size;
  capacity = other.capacity;
  other.data = d;
  other.size = s;
  other.capacity = c;
}

void string::assign(const char* s, uint64_t n) {
  if (s == nullptr) n = 0;
  uint64_t off;
  if (pointer_offset(s, off)) {
    // The source lives in the buffer being replaced: copy it out first.
    uint64_t left = size - off;
    string part(s, n < left ? n : left);
    swap(part);
    return;  // part's destructor returns the old buffer
  }
  size = 0;
  if (data != nullptr) data[0] = 0;
  if (n == 0) {
    ensure_storage();
    return;
  }
  reserve(n);
  memcpy(data, s, n);
  size = n;
  data[n] = 0;
}

void string::reserve(uint64_t n) {
  if (capacity >= n) return;
  char* buffer = allocate(n);
  if (size != 0) memcpy(buffer, data, size);
  buffer[size] = 0;
  ::operator delete(data);
  data = buffer;
  capacity = n;
}

void string::push_back(char c) {
  if (size == capacity) reserve(size == 0 ? 16 : 2 * size);
  ensure_storage();
  data[size++] = c;
  data[size] = 0;
}

string& string::append(const char* s, uint64_t n) {
  if (s == nullptr || n == 0) return *this;
  uint64_t off;
  uint64_t count = n;
  if (pointer_offset(s, off)) {
    uint64_t left = size - off;
    if (count > left) count = left;
    reserve(size + count);
    // The reserve may have moved the bytes: copy from the buffer it left.
    memcpy(data + size, data + off, count);
  } else {
    reserve(size + n);
    memcpy(data + size, s, n);
  }
  size += count;
  data[size] = 0;
  return *this;
}

string& string::operator+=(const string& other) { return append(other.chars(), other.size); }

uint64_t string::find(char c, uint64_t pos) const { return view().find(c, pos); }

string string::substr(uint64_t pos, uint64_t n) const {
  uint64_t start = pos < size ? pos : size;
  uint64_t left = size - start;
  return string(chars() + start, n < left ? n : left);
}

bool operator==(const string& a, const char* s) {
  return a.view() == string_view{s ? s : kEmpty, string_length(s)};
}

bool operator!=(const string& a, const char* s) { return !(a == s); }

}  // namespace nk
