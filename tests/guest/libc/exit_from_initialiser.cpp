// exit called by a static initialiser: the handlers registered so far run, the statics
// constructed so far are destroyed, later initialisers and main never run, and the status
// is exit's.
#include <cstdio>
#include <cstdlib>

namespace {

struct Noisy {
  explicit Noisy(const char* name) : name_(name) { std::printf("construct %s\n", name_); }
  ~Noisy() { std::printf("destroy %s\n", name_); }
  const char* name_;
};

struct Leaver {
  Leaver() {
    std::printf("initialiser calls exit(7)\n");
    std::exit(7);
  }
};

void handler() { std::printf("atexit handler\n"); }
int registered = std::atexit(handler);
Noisy before("constructed before");
Leaver leaver;
Noisy after("constructed after");

}  // namespace

int main() {
  std::printf("main ran\n");
  return 0;
}
