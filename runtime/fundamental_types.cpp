// The type descriptors of the fundamental types, and of pointers and pointers to const to
// each. Compilers never emit these in a program: `throw 42`, `catch (const char*)` or
// `typeid(double)` refer to the run-time's copies, under the Itanium names.

#include <stdint.h>

namespace {

struct FundamentalDescriptor {
  const void* const* vtable;
  const char* name;
};

struct PointerDescriptor {
  const void* const* vtable;
  const char* name;
  uint32_t flags;  // bit 0: the pointee is const
  const FundamentalDescriptor* pointee;
};

constexpr uint32_t kConstPointee = 1;

}  // namespace

extern "C" {
extern const void* const _ZTVN10__cxxabiv123__fundamental_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv119__pointer_type_infoE[4];
}

namespace {
// Descriptors point two words into their vtable, past offset-to-top and type_info.
constexpr const void* const* kFundamental = _ZTVN10__cxxabiv123__fundamental_type_infoE + 2;
constexpr const void* const* kPointer = _ZTVN10__cxxabiv119__pointer_type_infoE + 2;
}  // namespace

// Three descriptors per type, named from its mangled code: T, T* and const T*. Only a
// macro can spell the symbol names.
#define NK_FUNDAMENTAL(code)                                                        \
  extern const FundamentalDescriptor _ZTI##code;                                    \
  extern const PointerDescriptor _ZTIP##code, _ZTIPK##code;                         \
  const FundamentalDescriptor _ZTI##code = {kFundamental, #code};                   \
  const PointerDescriptor _ZTIP##code = {kPointer, "P" #code, 0, &_ZTI##code};      \
  const PointerDescriptor _ZTIPK##code = {kPointer, "PK" #code, kConstPointee, &_ZTI##code};

#pragma GCC visibility push(default)
extern "C" {
NK_FUNDAMENTAL(v)   // void
NK_FUNDAMENTAL(Dn)  // decltype(nullptr)
NK_FUNDAMENTAL(b)   // bool
NK_FUNDAMENTAL(c)   // char
NK_FUNDAMENTAL(a)   // signed char
NK_FUNDAMENTAL(h)   // unsigned char
NK_FUNDAMENTAL(w)   // wchar_t
NK_FUNDAMENTAL(Du)  // char8_t
NK_FUNDAMENTAL(Ds)  // char16_t
NK_FUNDAMENTAL(Di)  // char32_t
NK_FUNDAMENTAL(s)   // short
NK_FUNDAMENTAL(t)   // unsigned short
NK_FUNDAMENTAL(i)   // int
NK_FUNDAMENTAL(j)   // unsigned int
NK_FUNDAMENTAL(l)   // long
NK_FUNDAMENTAL(m)   // unsigned long
NK_FUNDAMENTAL(x)   // long long
NK_FUNDAMENTAL(y)   // unsigned long long
NK_FUNDAMENTAL(n)   // __int128
NK_FUNDAMENTAL(o)   // unsigned __int128
NK_FUNDAMENTAL(f)   // float
NK_FUNDAMENTAL(d)   // double
NK_FUNDAMENTAL(e)   // long double
}
#pragma GCC visibility pop
