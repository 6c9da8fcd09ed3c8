// Throwing what is not a class: ints, strings, pointers, enums, with matching and
// non-matching clauses; pointer catches of null and non-null pointers; catch by value of a
// class with a copy constructor.
#include "portable_log.h"

namespace {

enum Colour { kRed = 1, kGreen = 2 };
enum class Mode : short { kFast = 5 };

struct Node {
  int id;
};

template <class T>
NOINLINE void raise(T value) {
  throw opaque(value);
}

void integers() {
  try {
    raise(42);
  } catch (long) {
    say("int caught as long (wrong)");
  } catch (unsigned) {
    say("int caught as unsigned (wrong)");
  } catch (int value) {
    say("int %d", value);
  }
  try {
    try {
      raise(7L);
    } catch (int) {
      say("long caught as int (wrong)");
    }
  } catch (long value) {
    say("long passed int, caught %d", (int)value);
  }
  try {
    raise(2.5);
  } catch (const double& value) {
    say("double by reference %d", (int)(value * 2));
  }
  try {
    raise('x');
  } catch (signed char) {
    say("char caught as signed char (wrong)");
  } catch (char c) {
    say("char %c", c);
  }
  try {
    raise(true);
  } catch (bool b) {
    say("bool %d", (int)b);
  }
}

void strings() {
  try {
    throw "text";
  } catch (const unsigned char*) {
    say("string literal caught as const unsigned char* (wrong)");
  } catch (const char* text) {
    say("string '%s'", text);
  }
  try {
    try {
      throw "inner";
    } catch (int) {
      say("string caught as int (wrong)");
    }
  } catch (const char* text) {
    say("string passed int, caught '%s'", text);
  }
}

void pointers() {
  Node node{9};
  try {
    raise(&node);
  } catch (Node* p) {
    say("Node* is the node: %d, id %d", p == &node, p->id);
  }
  try {
    raise(static_cast<Node*>(nullptr));
  } catch (Node* p) {
    say("null Node* arrives null: %d", p == nullptr);
  }
  try {
    raise(static_cast<const Node*>(&node));
  } catch (const Node* p) {
    say("const Node* is the node: %d", p == &node);
  }
  int value = 17;
  try {
    raise(&value);
  } catch (int* p) {
    say("int* points at %d", *p);
  }
  try {
    raise(static_cast<int*>(nullptr));
  } catch (int* p) {
    say("null int* arrives null: %d", p == nullptr);
  }
  try {
    try {
      raise(&node);
    } catch (int*) {
      say("Node* caught as int* (wrong)");
    }
  } catch (...) {
    say("Node* passed int*, caught by catch-all");
  }
}

void enums() {
  try {
    raise(kGreen);
  } catch (int) {
    say("enum caught as int (wrong)");
  } catch (Colour c) {
    say("Colour %d", (int)c);
  }
  try {
    raise(Mode::kFast);
  } catch (Colour) {
    say("Mode caught as Colour (wrong)");
  } catch (Mode m) {
    say("Mode %d", (int)m);
  }
}

int gCopies = 0;
int gLive = 0;

struct Counted {
  int id;
  explicit Counted(int id) : id(id) { ++gLive; }
  Counted(const Counted& other) : id(other.id + 100) {
    ++gCopies;
    ++gLive;
  }
  ~Counted() { --gLive; }
};

NOINLINE void raise_counted(int id) { throw Counted(opaque(id)); }

void by_value() {
  int copies_before = gCopies;
  try {
    raise_counted(1);
  } catch (Counted c) {
    say("by value: id %d, live %d", c.id, gLive);
  }
  say("copies made: %d, live %d", gCopies - copies_before, gLive);
}

}  // namespace

extern "C" int main() {
  integers();
  strings();
  pointers();
  enums();
  by_value();
  return gLive;
}
