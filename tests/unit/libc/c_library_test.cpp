// Programs with the C library on a fresh machine: files over the store, what the platform
// cannot have, the console, and how programs end.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/services/console.h"
#include "support/file_store_test.h"
#include "support/nkhost_process.h"

namespace {

using nk::sim::Entry;

class CLibraryTest : public nk::test::FileStoreTest {
 protected:
  // Every console line that does not end in " ok", besides the summary.
  static std::vector<std::string> failures(const std::vector<std::string>& lines) {
    std::vector<std::string> bad;
    for (const auto& line : lines)
      if (!line.ends_with(" ok") && line != "0 failed") bad.push_back(line);
    return bad;
  }
  size_t stores_of(const std::string& name) {
    size_t count = 0;
    for (const auto& call : machine.calls()) count += call.entry == Entry::file_write && call.text == name;
    return count;
  }
};

TEST_F(CLibraryTest, FilesFollowC) {
  EXPECT_EQ(run_guest("libc_files"), 0);
  EXPECT_EQ(failures(machine.console().lines()), std::vector<std::string>{});
  // Eight megabytes written in 100-byte pieces reach the store once, at fclose, after the
  // empty file that fopen "w" creates.
  EXPECT_EQ(stores_of("large.bin"), 2u);
  EXPECT_EQ(get("large.bin").size(), 8000000u);
  // Files the program left open are stored at exit, through FILE and descriptor alike.
  EXPECT_EQ(get("left-open.txt"), "stored by exit 42");
  EXPECT_EQ(get("left-open-fd.txt"), "descriptor");
  EXPECT_EQ(get("created.txt"), "");
  EXPECT_FALSE(exists("new.txt"));
  EXPECT_FALSE(exists("open-while-removed.txt"));
}

TEST_F(CLibraryTest, WhatThePlatformCannotHaveFailsAndTheProgramGoesOn) {
  EXPECT_EQ(run_guest("libc_platform_calls"), 0);
  EXPECT_EQ(failures(machine.console().lines()), std::vector<std::string>{});
}

TEST_F(CLibraryTest, PosixNamesBeyondISOCWork) {
  EXPECT_EQ(run_guest("libc_posix_names"), 0);
  EXPECT_EQ(failures(machine.console().lines()), std::vector<std::string>{});
}

TEST_F(CLibraryTest, MainTakesItsNameAndItsResultIsTheStatus) {
  EXPECT_EQ(run_guest("libc_returns_status"), 12);
  EXPECT_EQ(machine.console().lines(),
            (std::vector<std::string>{
                "argc 1, argv[0] guest_libc_returns_status, argv[1] null, envp[0] null, getenv null",
                "handler after main"}));
}

TEST_F(CLibraryTest, ExitFromAStaticInitialiserEndsTheProgramWithItsStatus) {
  EXPECT_EQ(run_guest("libc_exit_from_initialiser"), 7);
  EXPECT_EQ(machine.console().lines(),
            (std::vector<std::string>{"construct constructed before", "initialiser calls exit(7)",
                                      "destroy constructed before", "atexit handler"}));
}

TEST_F(CLibraryTest, StandardInputReadsConsoleLines) {
  machine.console().script({"first line", "", "3 4.5 word"});
  EXPECT_EQ(run_guest("libc_echo_input"), 0);
  EXPECT_EQ(machine.console().lines(),
            (std::vector<std::string>{"name? ", "line 1: [first line]", "line 2: []",
                                      "numbers: 3 4.5 word", "end of input after 3 lines"}));
}

TEST_F(CLibraryTest, AFailedAssertionHaltsWithTheLibrarysAbort) {
  nk::test::NkhostProcess nkhost(root, "libc_assertion", {"--files", root.string()});
  EXPECT_EQ(nkhost.wait(), 134);
  EXPECT_EQ(nkhost.out(), "before the assertion\n"
                          "assertion \"1 + 1 == 3\" failed: file \"" NK_SOURCE_DIR
                          "/tests/guest/libc/assertion.c\", line 10, function: main\n");
  EXPECT_NE(nkhost.err().find("nkhost: the program halted: abort was called"), std::string::npos)
      << nkhost.err();
  EXPECT_EQ(get("kept.txt"), "");  // created by fopen, never written: abort stores nothing
}

}  // namespace
