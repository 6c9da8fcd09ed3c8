// A pure virtual function called while the base is being built: the trap halts.
#include <nk_console.h>

namespace {

struct Base {
  Base() { announce(); }
  __attribute__((noinline)) void announce() { nk_lua_write(name(), 4); }
  virtual const char* name() = 0;
  virtual ~Base() = default;
};
struct Derived : Base {
  const char* name() override { return "late"; }
};

}  // namespace

extern "C" int main() {
  Derived d;
  nk_lua_writeline();
  return 0;
}
