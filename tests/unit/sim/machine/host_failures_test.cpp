// When a program breaks the calling convention, when nkhost itself fails inside a service,
// and when a program writes without end: a report that says so, never a crash of nkhost
// and never memory that grows with the run.

#include <sys/resource.h>

#include <fstream>

#include "sim/machine/guest_call.h"
#include "support/library_test.h"

namespace {

using nk::sim::Machine;

class HostFailures : public nk::test::LibraryTest {};

TEST_F(HostFailures, AMainThatLeavesCalleeSavedRegistersChangedIsNamed) {
  auto& program = machine.load_program(nk::test::guest_path("convention_breaker"));
  std::string report;
  try {
    machine.run_main(program);
  } catch (const nk::sim::ConventionBroken& problem) {
    report = problem.what();
  }
  EXPECT_EQ(report, "guest_convention_breaker: main returned without restoring rbx, r12, which "
                    "the calling convention requires it to keep");
  // The registers were put back: nkhost and the library carry on.
  EXPECT_EQ(fn<size_t(const char*)>("strlen")("four"), 4u);
}

// An exception cannot travel back through the program's frames: a service that fails (here:
// out of host memory while keeping a console line) ends the run as nkhost's own failure.
TEST_F(HostFailures, AFailureInsideAServiceIsReportedAsNkhostsOwn) {
  auto write = fn<void(const char*, size_t)>("nk_lua_write");
  std::string line(16 << 20, 'x');
  line += '\n';
  auto write_without_room = [&] {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit limit{pages * 4096 + (1 << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    write(line.data(), line.size());
  };
  EXPECT_EXIT(write_without_room(), ::testing::ExitedWithCode(nk::sim::kExitInternal),
              "nkhost: internal error in the console_write_line service: .*bad_alloc");
}

TEST(ConsoleLines, AreKeptOnlyWhereAskedForAndBounded) {
  {
    Machine quiet(Machine::Options{.record_calls = false, .console_lines = 0});
    auto write = quiet.load_library(nk::test::library_path()).function<void(const char*, size_t)>("nk_lua_write");
    for (int i = 0; i < 1000; ++i) write("line\n", 5);
    EXPECT_TRUE(quiet.console().lines().empty());
  }
  Machine bounded(Machine::Options{.console_lines = 3});
  auto write = bounded.load_library(nk::test::library_path()).function<void(const char*, size_t)>("nk_lua_write");
  testing::internal::CaptureStderr();
  write("1\n2\n3\n4\n5\n", 10);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "nkhost: 3 console lines kept; later lines are not kept\n");
  EXPECT_EQ(bounded.console().lines(), (std::vector<std::string>{"1", "2", "3"}));
}

}  // namespace
