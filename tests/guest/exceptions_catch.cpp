// Which clause catches what: base classes along a single-inheritance chain, catch-all,
// skipped clauses, rethrow, a throw inside a catch block, and dynamic_cast on the chain.
#include "exceptions_log.h"

namespace {

int gDestroyed = 0;

struct Root {
  int id;
  explicit Root(int id) : id(id) {}
  virtual ~Root() {
    ++gDestroyed;
    say("~Root %d", id);
  }
  virtual const char* kind() const { return "Root"; }
};
struct Middle : Root {
  using Root::Root;
  const char* kind() const override { return "Middle"; }
};
struct Leaf : Middle {
  using Middle::Middle;
  const char* kind() const override { return "Leaf"; }
};
struct Other {
  int id;
  ~Other() {
    ++gDestroyed;
    say("~Other %d", id);
  }
};

NOINLINE void throw_leaf(int id) { throw Leaf(opaque(id)); }
NOINLINE void throw_root(int id) { throw Root(opaque(id)); }
NOINLINE void throw_other(int id) { throw Other{opaque(id)}; }

void base_classes() {
  try {
    throw_leaf(1);
  } catch (Middle& m) {
    say(m.kind());
    say("Leaf caught as Middle %d", m.id);
  }
  try {
    throw_leaf(2);
  } catch (const Root& r) {
    say("Leaf caught as Root %d", r.id);
  }
  try {
    try {
      throw_root(3);
    } catch (Leaf&) {
      say("Root caught as Leaf (wrong)");
    }
  } catch (Root& r) {
    say("Root passed Leaf, caught as Root %d", r.id);
  }
}

void catch_all_and_skipping() {
  try {
    throw_other(4);
  } catch (...) {
    say("catch-all took Other");
  }
  try {
    throw_leaf(5);
  } catch (Other&) {
    say("Other clause took Leaf (wrong)");
  } catch (Middle& m) {
    say("Other clause skipped, Middle took %d", m.id);
  }
}

// Several handlers in one try; each throw must land in its own clause.
void several_handlers() {
  for (int which = 0; which < 4; ++which) {
    try {
      switch (opaque(which)) {
        case 0: throw_other(10); break;
        case 1: throw_leaf(11); break;
        case 2: throw_root(12); break;
        default: say("nothing thrown"); break;
      }
    } catch (Other& o) {
      say("clause Other: %d", o.id);
    } catch (Leaf& l) {
      say("clause Leaf: %d", l.id);
    } catch (Root& r) {
      say("clause Root: %d", r.id);
    } catch (...) {
      say("clause ... (wrong)");
    }
  }
}

NOINLINE void rethrow_from_catch() {
  try {
    throw_leaf(20);
  } catch (Middle& m) {
    say("inner catch %d, rethrowing", m.id);
    throw;
  }
}

void rethrow() {
  int before = gDestroyed;
  try {
    rethrow_from_catch();
  } catch (Root& r) {
    say("outer catch %d, destroyed so far: %d", r.id, gDestroyed - before);
  }
  say("after rethrow, destroyed: %d", gDestroyed - before);
}

void throw_inside_catch() {
  int before = gDestroyed;
  try {
    throw_leaf(30);
  } catch (Root& outer) {
    try {
      throw_other(31);
    } catch (Other& inner) {
      say("inner caught %d while outer holds %d", inner.id, outer.id);
    }
    say("outer still holds %d", outer.id);
  }
  say("after nested catches, destroyed: %d", gDestroyed - before);
}

void dynamic_casts() {
  Leaf leaf(40);
  Middle middle(41);
  Root* as_root = opaque(static_cast<Root*>(&leaf));
  Root* plain_middle = opaque(static_cast<Root*>(&middle));
  say(dynamic_cast<Leaf*>(as_root) == &leaf ? "Root* to Leaf*: the Leaf" : "Root* to Leaf*: wrong");
  say(dynamic_cast<Middle*>(as_root) == &leaf ? "Root* to Middle*: the Leaf" : "Root* to Middle*: wrong");
  say(dynamic_cast<Leaf*>(plain_middle) == nullptr ? "Middle as Leaf: null" : "Middle as Leaf: wrong");
  Root* none = opaque(static_cast<Root*>(nullptr));
  say(dynamic_cast<Leaf*>(none) == nullptr ? "null stays null" : "null: wrong");
}

}  // namespace

extern "C" int main() {  // freestanding C++ does not give main C linkage by itself
  base_classes();
  catch_all_and_skipping();
  several_handlers();
  rethrow();
  throw_inside_catch();
  dynamic_casts();
  return gDestroyed;
}
