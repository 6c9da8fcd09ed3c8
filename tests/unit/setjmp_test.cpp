// setjmp and longjmp as a program compiled for the platform uses them.

#include <string>
#include <vector>

#include "support/library_test.h"

namespace {

class SetJmp : public nk::test::LibraryTest {};

TEST_F(SetJmp, LongjmpDeliversItsValueAndRestoresTheCaller) {
  EXPECT_EQ(run_guest("setjmp_jumps"), 0);
  EXPECT_EQ(machine.console().lines(),
            (std::vector<std::string>{"longjmp 0 delivers 1", "longjmp 42 delivers 42",
                                      "longjmp -3 delivers -3",
                                      "jump out of depth 200 delivers 200",
                                      "registers survive: 1"}));
}

}  // namespace
