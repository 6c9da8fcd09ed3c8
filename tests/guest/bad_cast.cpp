// A dynamic_cast to a reference that fails: there is no std::bad_cast to throw, so the
// program ends with a halt. The line before shows it got that far.
#include "portable_log.h"

namespace {

struct Root {
  virtual ~Root() = default;
};
struct Leaf : Root {};

}  // namespace

extern "C" int main() {
  Root root;
  Root& as_root = *opaque(&root);
  say("casting");
  Leaf& leaf = dynamic_cast<Leaf&>(as_root);
  say("cast gave %p (wrong)", static_cast<void*>(&leaf));
  return 1;
}
