// nkhost's tools for programmers: crash and halt reports with backtraces, the host-call
// trace, the profiler, the perf map, symbolize and the symbol listing.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "sim/debug/call_trace.h"
#include "sim/debug/perf_map.h"
#include "support/library_test.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace nk::sim;
using nk::test::guest_path;
using nk::test::library_path;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Outcome {
  int status = -1;
  pid_t pid = 0;
  std::string out, err;
};

class DebugTools : public ::testing::Test {
 protected:
  fs::path dir = fs::temp_directory_path() / ("nkhost_debug_" + std::to_string(getpid()));
  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override { fs::remove_all(dir); }

  Outcome nkhost(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (dir / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    args.insert(args.begin(), nk::test::nkhost_path().string());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    Outcome outcome;
    if (posix_spawn(&outcome.pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status;
      waitpid(outcome.pid, &status, 0);
      outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = slurp(dir / "out");
    outcome.err = slurp(dir / "err");
    return outcome;
  }
  Outcome run_guest(const std::string& name, std::vector<std::string> options = {}) {
    std::vector<std::string> args{"run", guest_path(name).string(), "--library", library_path().string()};
    args.insert(args.end(), options.begin(), options.end());
    return nkhost(args);
  }
};

// "  #2 0x100000577 update+0x17 (guest_debug_crash_deep)" -> address, name, image.
struct FrameLine {
  std::string address, name, image;
};
std::vector<FrameLine> frames_of(const std::string& report) {
  static const std::regex frame(R"(  #\d+ (0x[0-9a-f]+) (.+)\+0x[0-9a-f]+ \((.+)\))");
  std::vector<FrameLine> frames;
  for (const auto& line : lines_of(report)) {
    std::smatch m;
    if (std::regex_match(line, m, frame)) frames.push_back({m[1], m[2], m[3]});
  }
  return frames;
}

TEST_F(DebugTools, ACrashReportNamesEachFrameAndItsImage) {
  Outcome crash = run_guest("debug_crash_deep");
  EXPECT_EQ(crash.status, kExitCrashed);
  ASSERT_TRUE(crash.err.starts_with(
      "nkhost: the program crashed: invalid memory access writing at address 0x40 (SIGSEGV)\n"))
      << crash.err;
  auto frames = frames_of(crash.err);
  ASSERT_EQ(frames.size(), 4u) << crash.err;
  const std::pair<const char*, const char*> expected[] = {
      {"memset", "OrvaneWindow.dylib"},
      {"draw_sprite", "guest_debug_crash_deep"},
      {"update", "guest_debug_crash_deep"},
      {"main", "guest_debug_crash_deep"}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(frames[i].name, expected[i].first);
    EXPECT_EQ(frames[i].image, expected[i].second);
  }
  // The addresses a report prints are the files' own: symbolize turns them back into the
  // same names, with or without 0x.
  Outcome named = nkhost({"symbolize", guest_path("debug_crash_deep").string(), frames[1].address,
                          frames[3].address.substr(2)});
  EXPECT_EQ(named.status, 0) << named.err;
  auto lines = lines_of(named.out);
  ASSERT_EQ(lines.size(), 2u) << named.out;
  EXPECT_TRUE(lines[0].starts_with(frames[1].address + " draw_sprite+0x")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with(frames[3].address + " main+0x")) << lines[1];
  EXPECT_NE(named.out.find("(guest_debug_crash_deep)"), std::string::npos);
  Outcome library = nkhost({"symbolize", library_path().string(), frames[0].address, "0x0"});
  EXPECT_TRUE(library.out.starts_with(frames[0].address + " memset+0x")) << library.out;
  EXPECT_NE(library.out.find("0x0 (not in the code of OrvaneWindow.dylib)"), std::string::npos);
}

TEST_F(DebugTools, HaltAndCrashReportsSayWhatHappened) {
  Outcome uncaught = run_guest("exceptions_uncaught");
  EXPECT_EQ(uncaught.status, kExitHalted);
  EXPECT_TRUE(uncaught.err.starts_with(
      "nkhost: the program halted: an exception was thrown and nothing caught it\n"))
      << uncaught.err;
  auto frames = frames_of(uncaught.err);
  ASSERT_GE(frames.size(), 3u) << uncaught.err;
  EXPECT_EQ(frames.front().name, "abort");
  // Local C++ functions are named and demangled.
  EXPECT_EQ(frames[frames.size() - 2].name, "(anonymous namespace)::throw_unwanted()");
  EXPECT_EQ(frames.back().name, "main");

  Outcome noexcept_left = run_guest("exceptions_destructor_throw");
  EXPECT_EQ(noexcept_left.status, kExitHalted);
  EXPECT_NE(noexcept_left.err.find("halted: an exception left a function that may not throw"),
            std::string::npos) << noexcept_left.err;

  Outcome pure = run_guest("pure_virtual");
  EXPECT_NE(pure.err.find("halted: a pure virtual function was called"), std::string::npos) << pure.err;

  // Deep recursion: one screen of report, the recursive frame folded into one line.
  Outcome overflow = run_guest("loader_overflow");
  EXPECT_EQ(overflow.status, kExitCrashed);
  EXPECT_TRUE(overflow.err.starts_with("nkhost: the program crashed: stack overflow")) << overflow.err;
  EXPECT_TRUE(std::regex_search(overflow.err, std::regex(R"(deeper\+0x[0-9a-f]+ \(guest_loader_overflow\)\n  \.\.\. the frame above repeats \d{3,} more times)")))
      << overflow.err;
  EXPECT_LT(lines_of(overflow.err).size(), 40u);
}

TEST_F(DebugTools, TracedCallsMatchTheCallRecord) {
  Machine machine(Machine::Options{.files = dir, .observe_host_calls = true});
  Image& lib = machine.load_library(library_path());
  FILE* sink = tmpfile();
  ASSERT_NE(sink, nullptr);
  {
    CallTrace trace(fileno(sink), kTraceAll);
    auto entry = [&](Entry e) { return static_cast<uintptr_t>(machine.table().raw(e)); };
    auto* allocate = reinterpret_cast<void* (*)(uint64_t)>(entry(Entry::memory_allocate));
    auto* release = reinterpret_cast<void (*)(void*)>(entry(Entry::memory_free));
    auto* write_line = reinterpret_cast<void (*)(const char*)>(entry(Entry::console_write_line));
    auto* write_file = reinterpret_cast<int32_t (*)(const char*, const void*, uint32_t)>(entry(Entry::file_write));
    auto* stat_file = reinterpret_cast<int32_t (*)(const char*, void*)>(entry(Entry::file_stat));
    auto* create = reinterpret_cast<uint32_t (*)(const char*, int32_t, int32_t)>(entry(Entry::window_create));
    auto* publish = reinterpret_cast<uint32_t (*)(uint32_t, const char*, const uint8_t*, int32_t, int32_t,
                                                  int32_t, uint32_t)>(entry(Entry::window_publish));
    void* block = allocate(40);
    release(block);
    write_line("tab\there \"quoted\"\n\x01");
    write_line(std::string(100, 'x').c_str());
    EXPECT_EQ(write_file("notes.txt", "line one\nline two\n", 18), 1);
    uint32_t info[3] = {};
    EXPECT_NE(stat_file("notes.txt", info), 0);
    uint32_t window = create("demo", 64, 48);
    // The seventh argument travels on the stack: the thunk must pass it on unchanged.
    publish(window, "demo", nullptr, 64, 48, 256, 0x336699);
    // A float argument, and a record filled through the seventh argument.
    auto* load = reinterpret_cast<uint64_t (*)(const char*, float)>(entry(Entry::font_load));
    auto* render = reinterpret_cast<int32_t (*)(uint64_t, const char*, int32_t, int32_t, int32_t, int64_t,
                                                void*)>(entry(Entry::font_render));
    uint64_t font = load("DejaVu Sans Mono", 12.5f);
    ASSERT_NE(font, 0u);
    uint8_t record[24] = {};
    EXPECT_NE(render(font, "Hi", 1, 2, 3, 255, record), 0);
    release(reinterpret_cast<void*>(*reinterpret_cast<uint64_t*>(record)));
    // And calls the library makes as a program would.
    lib.function<size_t(const char*, size_t)>("nk_lua_write")("from the library\n", 17);
  }
  auto lines = lines_of(slurp("/proc/self/fd/" + std::to_string(fileno(sink))));
  fclose(sink);
  const auto& calls = machine.calls();
  ASSERT_EQ(lines.size(), calls.size());
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_TRUE(lines[i].starts_with(std::string(entry_name(calls[i].entry)) + "(")) << lines[i];
  EXPECT_EQ(calls[7].args[6], 0x336699u);
  const std::string expected[] = {
      "memory_allocate(size=40) = 0x",
      "memory_free(block=0x",
      R"(console_write_line(text="tab\there \"quoted\"\n\x01"))",
      "console_write_line(text=\"" + std::string(64, 'x') + "\"...)",
      R"(file_write(name="notes.txt", data="line one\nline two\n", size=18) = 1)",
      "file_stat(name=\"notes.txt\", info=0x",
      "window_create(title=\"demo\", width=64, height=48) = ",
      "window_publish(window=",
  };
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_TRUE(lines[i].starts_with(expected[i])) << lines[i];
  EXPECT_NE(lines[5].find(", size=18}) = 1"), std::string::npos) << lines[5];
  EXPECT_NE(lines[7].find(", width=64, height=48, stride=256, background=0x336699) = "), std::string::npos)
      << lines[7];
  EXPECT_TRUE(lines[8].starts_with(R"(font_load(font="DejaVu Sans Mono", size=12.5) = 0x)")) << lines[8];
  EXPECT_TRUE(std::regex_match(lines[9], std::regex(R"(font_render\(font=0x[0-9a-f]+, text="Hi", red=1, green=2, blue=3, alpha=255, info=0x[0-9a-f]+ \{pixels=0x[0-9a-f]+, size=\d+, width=[1-9]\d*, height=[1-9]\d*\}\) = 1)")))
      << lines[9];
  EXPECT_EQ(lines.back(), R"(console_write_line(text="from the library"))");
  for (const auto& line : lines) EXPECT_LE(line.size(), kMaxTraceLine);
}

// A service that faults on what the program handed it: the report names the call.
TEST_F(DebugTools, AFaultInAServiceNamesTheCall) {
  Machine machine(Machine::Options{.observe_host_calls = true});
  auto* write_line = reinterpret_cast<void (*)(const char*)>(
      static_cast<uintptr_t>(machine.table().raw(Entry::console_write_line)));
  EXPECT_EXIT(write_line(reinterpret_cast<const char*>(0x10)), ::testing::ExitedWithCode(kExitCrashed),
              "crashed: invalid memory access reading at address 0x10 \\(SIGSEGV\\)\n"
              "  in nkhost while serving console_write_line");
}

TEST_F(DebugTools, TraceGroupsChooseTheCalls) {
  EXPECT_EQ(parse_trace_groups(""), kTraceAll);
  EXPECT_EQ(parse_trace_groups("window,files"), unsigned(kTraceWindow | kTraceFiles));
  EXPECT_THROW(parse_trace_groups("window,"), std::invalid_argument);
  Outcome traced = run_guest("console_demo", {"--trace=console"});
  EXPECT_EQ(traced.status, 0) << traced.err;
  EXPECT_NE(traced.err.find("console_write_line(text=\"NorrikLua Desktop For NorrikBoot\")\n"),
            std::string::npos) << traced.err;
  EXPECT_EQ(traced.err.find("memory_"), std::string::npos);
}

TEST_F(DebugTools, TheHotFunctionDominatesTheProfile) {
  fs::path folded = dir / "profile.folded";
  Outcome profiled = run_guest("debug_hot_loop", {"--profile", folded.string()});
  EXPECT_EQ(profiled.status, 0) << profiled.err;
  uint64_t total = 0, hot = 0;
  for (const auto& line : lines_of(slurp(folded))) {
    auto space = line.rfind(' ');
    ASSERT_NE(space, std::string::npos) << line;
    uint64_t count = std::stoull(line.substr(space + 1));
    total += count;
    if (line.substr(0, space) == "main;render;blend") hot += count;
  }
  ASSERT_GT(total, 20u) << slurp(folded);
  EXPECT_GT(hot * 10, total * 8) << slurp(folded);
}

TEST_F(DebugTools, ThePerfMapMatchesTheLoadedImages) {
  Machine machine;
  Image& lib = machine.load_library(library_path());
  Image& program = machine.load_program(guest_path("debug_crash_deep"));
  fs::path map = dir / "perf.map";
  write_perf_map(map, machine.table());
  std::map<std::string, std::pair<uint64_t, uint64_t>> entries;
  for (const auto& line : lines_of(slurp(map))) {
    std::istringstream fields(line);
    uint64_t start, size;
    std::string name;
    fields >> std::hex >> start >> size;
    std::getline(fields >> std::ws, name);
    entries[name] = {start, size};
  }
  for (const char* name : {"draw_sprite", "update", "main"}) {
    ASSERT_TRUE(entries.count(name)) << name;
    EXPECT_EQ(entries[name].first, *program.find_symbol(name)) << name;
    EXPECT_TRUE(program.contains(entries[name].first + entries[name].second - 1)) << name;
  }
  EXPECT_EQ(entries["memset"].first, lib.export_address("memset"));
  EXPECT_EQ(entries["[host memory_allocate]"].first, machine.table().raw(Entry::memory_allocate));

  Outcome mapped = run_guest("loader_fixups", {"--perf-map"});
  fs::path written = "/tmp/perf-" + std::to_string(mapped.pid) + ".map";
  EXPECT_EQ(mapped.status, 42) << mapped.err;
  EXPECT_NE(slurp(written).find(" main\n"), std::string::npos);
  fs::remove(written);
}

TEST_F(DebugTools, InfoListsLocalSymbols) {
  Outcome info = nkhost({"info", guest_path("exceptions_uncaught").string(), "--symbols"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(\n  0000000100000[0-9a-f]{3}  local    code  \(anonymous namespace\)::throw_unwanted\(\)\n)")))
      << info.out;
  EXPECT_TRUE(std::regex_search(info.out, std::regex(R"(\n  [0-9a-f]{16}  exported code  main\n)")));
  EXPECT_EQ(nkhost({"info", guest_path("exceptions_uncaught").string()}).out.find("throw_unwanted"),
            std::string::npos);
}

TEST_F(DebugTools, BadInputGetsAUsageMessage) {
  std::string program = guest_path("loader_fixups").string();
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"run", program, "--trace=bogus"}, "--trace: unknown trace group 'bogus' (the groups are memory,"},
      {{"run", program, "--trace=window,,files"}, "unknown trace group ''"},
      {{"run", program, "--trace="}, "--trace= needs groups"},
      {{"run", program, "--profile"}, "--profile needs a FILE to write"},
      {{"run", program, "--profile", (dir / "no" / "such" / "dir.folded").string()},
       "--profile: cannot write '"},
      {{"run", program, "--perf-map=yes"}, "--perf-map takes no value"},
      {{"symbolize"}, "symbolize needs a FILE and at least one ADDRESS"},
      {{"symbolize", program}, "symbolize needs a FILE and at least one ADDRESS"},
      {{"symbolize", program, "0x12g4"}, "symbolize: '0x12g4' is not a hexadecimal address"},
      {{"symbolize", program, "0x"}, "'0x' is not a hexadecimal address"},
      {{"info", program, "--locals"}, "info needs exactly one FILE (and optionally --symbols)"},
  };
  for (const auto& [args, message] : cases) {
    Outcome outcome = nkhost(args);
    EXPECT_EQ(outcome.status, kExitUsage) << message;
    EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("nkhost --help"), std::string::npos) << outcome.err;
  }
  Outcome missing = nkhost({"symbolize", (dir / "absent").string(), "0x10"});
  EXPECT_EQ(missing.status, kExitLoadFailed);
  EXPECT_NE(missing.err.find("absent: cannot open"), std::string::npos) << missing.err;
}

}  // namespace
