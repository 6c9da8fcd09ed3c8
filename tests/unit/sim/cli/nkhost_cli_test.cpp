// The nkhost command, run as a subprocess: usage, load errors, exit statuses and the
// console on standard input and output.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "support/library_test.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nk::test::guest_path;
using nk::test::library_path;
using nk::test::nkhost_path;

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class NkhostCommand : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("nkhost_cli_" + std::to_string(getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  Outcome run(std::vector<std::string> args, const std::string& input = "") {
    std::ofstream(dir / "in") << input;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (dir / "in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    args.insert(args.begin(), nkhost_path().string());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    Outcome outcome;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status;
      waitpid(pid, &status, 0);
      outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = slurp(dir / "out");
    outcome.err = slurp(dir / "err");
    return outcome;
  }
  Outcome run_guest(const std::string& name, const std::string& input = "") {
    return run({"run", guest_path(name).string(), "--library", library_path().string()}, input);
  }
};

TEST_F(NkhostCommand, HelpAndVersion) {
  Outcome help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: nkhost run PROGRAM [--files DIR] [--library PATH]"), std::string::npos);
  EXPECT_NE(help.out.find("134 the program halted"), std::string::npos);
  EXPECT_NE(help.out.find("70 internal error in nkhost"), std::string::npos);
  Outcome version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("nkhost ")) << version.out;
}

TEST_F(NkhostCommand, UsageErrorsSayWhatIsWrong) {
  std::string program = guest_path("loader_fixups").string();
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "no command given"},
      {{"launch", program}, "unknown command 'launch'"},
      {{"run"}, "run needs a PROGRAM"},
      {{"run", program, "--fast"}, "unknown option '--fast'"},
      {{"run", program, "extra"}, "unexpected argument 'extra'"},
      {{"run", program, "--files"}, "--files needs a directory"},
      {{"run", program, "--files", (dir / "none").string()}, "is not a directory"},
      {{"run", program, "--window", "vga"}, "--window must be headless or sdl"},
      {{"run", program, "--window="}, "--window needs a mode"},
      {{"info"}, "info needs exactly one FILE"},
  };
  for (const auto& [args, message] : cases) {
    Outcome outcome = run(args);
    EXPECT_EQ(outcome.status, nk::sim::kExitUsage) << message;
    EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("nkhost --help"), std::string::npos) << outcome.err;
  }
}

TEST_F(NkhostCommand, LoadErrorsNameTheFile) {
  Outcome missing = run({"run", (dir / "absent").string(), "--library", library_path().string()});
  EXPECT_EQ(missing.status, nk::sim::kExitLoadFailed);
  EXPECT_NE(missing.err.find("absent: cannot open"), std::string::npos) << missing.err;

  std::ofstream(dir / "script.lua") << "print('not a program')\n";
  Outcome text = run({"run", (dir / "script.lua").string(), "--library", library_path().string()});
  EXPECT_EQ(text.status, nk::sim::kExitLoadFailed);
  EXPECT_NE(text.err.find("script.lua: not a Mach-O file"), std::string::npos) << text.err;

  Outcome wrong_library = run({"run", guest_path("loader_fixups").string(), "--library",
                               guest_path("loader_crash").string()});
  EXPECT_EQ(wrong_library.status, nk::sim::kExitLoadFailed);
  EXPECT_NE(wrong_library.err.find("is an executable, not a dynamic library"), std::string::npos);

  Outcome info = run({"info", (dir / "script.lua").string()});
  EXPECT_EQ(info.status, nk::sim::kExitLoadFailed);
  EXPECT_NE(info.err.find("not a Mach-O file"), std::string::npos);
}

TEST_F(NkhostCommand, ExitsWithMainsResultAndUsesStandardInputAndOutput) {
  Outcome fixups = run_guest("loader_fixups");
  EXPECT_EQ(fixups.status, 42) << fixups.err;
  EXPECT_EQ(fixups.out, "fixed up\n");
  EXPECT_EQ(fixups.err, "");

  // The library beside nkhost is the default.
  EXPECT_EQ(run({"run", guest_path("loader_fixups").string()}).status, 42);

  Outcome echo = run_guest("loader_echo", "one\r\ntwo\nlast line without an end");
  EXPECT_EQ(echo.status, 3) << echo.err;
  EXPECT_EQ(echo.out, "echo: one\necho: two\necho: last line without an end\n");

  // A program without a window runs the same with window options given.
  Outcome windowed = run({"run", guest_path("loader_fixups").string(), "--library",
                          library_path().string(), "--window", "headless", "--frames",
                          dir.string(), "--files=" + dir.string()});
  EXPECT_EQ(windowed.status, 42);
}

TEST_F(NkhostCommand, HaltsAndCrashesHaveTheirOwnStatus) {
  Outcome halted = run_guest("loader_abort");
  EXPECT_EQ(halted.status, nk::sim::kExitHalted);
  EXPECT_EQ(halted.out, "about to halt\n");
  EXPECT_TRUE(halted.err.starts_with("nkhost: the program halted: abort was called\n")) << halted.err;
  EXPECT_NE(halted.err.find("#0 0x"), std::string::npos) << halted.err;

  Outcome crashed = run_guest("loader_crash");
  EXPECT_EQ(crashed.status, nk::sim::kExitCrashed);
  EXPECT_NE(crashed.err.find("crashed: invalid memory access writing at address 0x10"), std::string::npos)
      << crashed.err;
  EXPECT_NE(crashed.err.find(" main+0x"), std::string::npos) << crashed.err;
}

TEST_F(NkhostCommand, AProgramThatBreaksTheCallingConventionIsReported) {
  Outcome broken = run_guest("convention_breaker");
  EXPECT_EQ(broken.status, nk::sim::kExitCrashed);
  EXPECT_NE(broken.err.find("nkhost: guest_convention_breaker: main returned without restoring rbx, r12"),
            std::string::npos) << broken.err;
}

TEST_F(NkhostCommand, InfoDescribesAFile) {
  Outcome library = run({"info", library_path().string()});
  EXPECT_EQ(library.status, 0) << library.err;
  EXPECT_NE(library.out.find("type: dynamic library"), std::string::npos) << library.out;
  EXPECT_NE(library.out.find("install name: /lib/OrvaneWindow.dylib"), std::string::npos);
  EXPECT_NE(library.out.find("imports: 0"), std::string::npos);
  Outcome program = run({"info", guest_path("loader_fixups").string()});
  EXPECT_NE(program.out.find("needs: /lib/OrvaneWindow.dylib"), std::string::npos) << program.out;
  EXPECT_NE(program.out.find("entry point: 0x"), std::string::npos);
}

}  // namespace
