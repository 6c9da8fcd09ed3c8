// nkhost: runs a NorrikBoot program on Linux.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/base/byte_reader.h"
#include "sim/cli/window_options.h"
#include "sim/debug/call_trace.h"
#include "sim/debug/perf_map.h"
#include "sim/debug/profiler.h"
#include "sim/debug/symbolize.h"
#include "sim/loader/macho_loader.h"
#include "sim/loader/macho_summary.h"
#include "sim/machine/guest_call.h"
#include "sim/machine/machine.h"

namespace {

namespace fs = std::filesystem;
using namespace nk::sim;

constexpr int kExitHostFailed = 71;  // the host itself could not set up (EX_OSERR)
constexpr std::string_view kVersion = "nkhost 0.1\n";
constexpr std::string_view kUsage =
    "usage: nkhost run PROGRAM [--files DIR] [--library PATH] [--window headless|sdl]\n"
    "                          [--frames DIR] [--input FILE] [--record FILE]\n"
    "                          [--exit-after-frames N] [--display WxH] [--fps N]\n"
    "                          [--trace[=GROUPS]] [--profile FILE] [--perf-map]\n"
    "                          [--memory-limit BYTES] [--memory-report]\n"
    "       nkhost info FILE [--symbols]\n"
    "       nkhost symbolize FILE ADDRESS...\n"
    "       nkhost --help | --version\n"
    "\n"
    "run      loads OrvaneWindow.dylib and PROGRAM (a NorrikBoot program), calls its main\n"
    "         and exits with main's result. Console lines go to standard output as they\n"
    "         are written; console input is read from standard input.\n"
    "info     describes a Mach-O file: type, segments, exports and imports; with\n"
    "         --symbols, every symbol, local ones included.\n"
    "symbolize  names code addresses of FILE (hexadecimal, as nm or a crash report\n"
    "         prints them): 'main+0x1c (game)'.\n"
    "\n"
    "  --files DIR      directory that serves as the file store (default: the current one)\n"
    "  --library PATH   the library to load (default: OrvaneWindow.dylib beside nkhost)\n"
    "  --window MODE    headless (the default: windows are kept, nothing is shown) or sdl\n"
    "                   (a desktop window; needs DISPLAY or WAYLAND_DISPLAY)\n"
    "  --frames DIR     saves every frame a window shows as DIR/frame-000001.png, ...\n"
    "                   (frame files of an earlier run there are removed first)\n"
    "  --input FILE     scripted input, one event per line, queued after N frame_end calls:\n"
    "                     @N key CH CODE        @N text \"abc\"      @N buttons MASK\n"
    "                     @N pointer abs X Y [RANGEX RANGEY]      @N pointer rel DX DY\n"
    "                     @N close              @N focus on|off     @N move X Y\n"
    "                   '#' starts a comment; numbers are decimal or 0x-hex\n"
    "  --record FILE    with sdl: writes what is typed and clicked as an --input script\n"
    "  --exit-after-frames N   ends the run with status 0 at the N-th frame_end\n"
    "  --display WxH    size of the display programs are told about (default 1280x800;\n"
    "                   with sdl, the desktop's)\n"
    "  --fps N          frame_end waits to keep N frames a second (sdl: 60; headless: no\n"
    "                   waiting; 0: none)\n"
    "  --trace[=GROUPS] print every host call to standard error as it returns; GROUPS\n"
    "                   limits it to some of: memory, console, files, window, input,\n"
    "                   png, fonts (comma-separated)\n"
    "  --profile FILE   sample the program's stacks and write them to FILE as folded\n"
    "                   stacks (the input of flame-graph tools)\n"
    "  --perf-map       write /tmp/perf-PID.map so that Linux perf names guest functions\n"
    "  --memory-limit BYTES  the program's memory requests fail beyond this many live\n"
    "                   bytes (out-of-memory tests)\n"
    "  --memory-report  the memory service's counters on standard error at the end\n"
    "\n"
    "exit status: main's result; 64 usage error (also a bad --input script, or no desktop\n"
    "for sdl); 66 the library or program could not be loaded; 70 internal error in nkhost\n"
    "itself; 71 nkhost could not set up the machine's memory; 74 a frame or the recording\n"
    "could not be written; 134 the program halted (abort); 139 the program crashed (or\n"
    "returned without restoring a register the calling convention makes it keep).\n";

struct RunOptions {
  fs::path program;
  fs::path files;
  std::optional<fs::path> library;
  WindowOptions window;
  std::optional<unsigned> trace;  // the groups traced
  std::optional<fs::path> profile;
  bool perf_map = false;
  uint64_t memory_limit = 0;
  bool memory_report = false;
};

struct UsageError {
  std::string message;
};

int usage_error(const std::string& message) {
  fprintf(stderr, "nkhost: %s\nRun 'nkhost --help' for usage.\n", message.c_str());
  return kExitUsage;
}

RunOptions parse_run(const std::vector<std::string_view>& args) {
  RunOptions options;
  bool have_program = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::string_view name = arg, value;
    bool inline_value = false;
    if (arg.starts_with("--")) {
      if (auto eq = arg.find('='); eq != arg.npos) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inline_value = true;
      }
      auto take = [&](const char* what) -> std::string_view {
        if (inline_value) {
          if (value.empty()) throw UsageError{std::string(name) + " needs " + what};
          return value;
        }
        if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs " + what};
        return args[++i];
      };
      if (name == "--files") {
        options.files = take("a directory");
      } else if (name == "--library") {
        options.library = take("a path");
      } else if (name == "--trace") {
        try {
          options.trace = parse_trace_groups(value);
        } catch (const std::invalid_argument& problem) {
          throw UsageError{"--trace: " + std::string(problem.what())};
        }
        if (inline_value && value.empty()) throw UsageError{"--trace= needs groups"};
      } else if (name == "--profile") {
        options.profile = take("a FILE to write");
      } else if (name == "--perf-map") {
        if (inline_value) throw UsageError{"--perf-map takes no value"};
        options.perf_map = true;
      } else if (const char* what = window_option_value(name)) {
        set_window_option(options.window, name, take(what));
      } else if (name == "--memory-limit") {
        std::string text(take("a number of bytes"));
        char* end = nullptr;
        options.memory_limit = strtoull(text.c_str(), &end, 10);
        if (text.empty() || *end || options.memory_limit == 0 || text[0] == '-')
          throw UsageError{"--memory-limit needs a positive number of bytes, not '" + text + "'"};
      } else if (name == "--memory-report" && !inline_value) {
        options.memory_report = true;
      } else {
        throw UsageError{"unknown option '" + std::string(arg) + "'"};
      }
    } else if (!have_program) {
      options.program = arg;
      have_program = true;
    } else {
      throw UsageError{"unexpected argument '" + std::string(arg) +
                       "' (programs are run without arguments)"};
    }
  }
  if (!have_program) throw UsageError{"run needs a PROGRAM"};
  std::error_code error;
  if (!options.files.empty() && !fs::is_directory(options.files, error))
    throw UsageError{"--files: '" + options.files.string() + "' is not a directory"};
  check_window_options(options.window);
  return options;
}

// OrvaneWindow.dylib beside the nkhost executable (or in ../lib, as installed).
std::optional<fs::path> default_library() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  for (fs::path candidate : {self.parent_path() / "OrvaneWindow.dylib",
                             self.parent_path().parent_path() / "lib" / "OrvaneWindow.dylib"})
    if (fs::is_regular_file(candidate, error)) return candidate;
  return std::nullopt;
}

int run(const RunOptions& options) {
  std::optional<fs::path> library = options.library ? options.library : default_library();
  if (!library) {
    fprintf(stderr, "nkhost: cannot find OrvaneWindow.dylib beside nkhost; give it with "
                    "--library PATH\n");
    return kExitLoadFailed;
  }
  int profile_fd = -1;
  if (options.profile) {
    profile_fd = open(options.profile->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (profile_fd < 0)
      return usage_error("--profile: cannot write '" + options.profile->string() + "': " + strerror(errno));
  }
  std::optional<Machine> machine;
  try {
    machine.emplace(Machine::Options{.stdio_console = true, .record_calls = false,
                                     .console_lines = 0, .files = options.files,
                                     .observe_host_calls = options.trace || options.profile});
  } catch (const std::exception& problem) {
    fprintf(stderr, "%s\n", problem.what());
    return kExitHostFailed;
  }
  const Image* program;
  try {
    machine->load_library(*library);
    program = &machine->load_program(options.program);
  } catch (const LoadError& problem) {
    fprintf(stderr, "nkhost: %s\n", problem.what());
    return kExitLoadFailed;
  } catch (const ConventionBroken& problem) {
    fflush(stdout);
    fprintf(stderr, "nkhost: %s\n", problem.what());
    return kExitCrashed;
  }
  machine->memory().limit_live_bytes(options.memory_limit);
  std::unique_ptr<WindowSession> window;
  try {
    window = start_window_session(*machine, options.window);
  } catch (const WindowOptionError& problem) {
    return usage_error(problem.what());
  }
  if (options.perf_map) {
    try {
      write_perf_map(perf_map_path(), machine->table());
    } catch (const std::runtime_error& problem) {
      fprintf(stderr, "nkhost: %s\n", problem.what());
    }
  }
  std::optional<CallTrace> trace;
  if (options.trace) trace.emplace(STDERR_FILENO, *options.trace);
  std::optional<Profiler> profiler;
  if (options.profile) profiler.emplace(profile_fd);
  int result;
  try {
    result = machine->run_main(*program);
  } catch (const ConventionBroken& problem) {
    fflush(stdout);
    fprintf(stderr, "nkhost: %s\n", problem.what());
    result = kExitCrashed;
  }
  profiler.reset();
  if (profile_fd >= 0) close(profile_fd);
  fflush(stdout);
  if (options.memory_report) {
    HostMemory::Counters c = machine->memory().counters();
    fprintf(stderr,
            "nkhost: memory: %" PRIu64 " allocations, %" PRIu64 " frees, %" PRIu64
            " reallocations, %" PRIu64 " failures; %" PRIu64 " blocks (%" PRIu64
            " bytes) live at the end, peak %" PRIu64 " bytes\n",
            c.allocations, c.frees, c.reallocations, c.failures, c.live_blocks, c.live_bytes,
            c.peak_bytes);
  }
  return result;
}

// Reads a Mach-O file and hands its bytes to use; a file that cannot be read or parsed is
// reported with the load status.
template <class Use>
int with_image_file(const fs::path& path, Use use) {
  try {
    use(read_image_file(path)->bytes());
    return 0;
  } catch (const LoadError& problem) {
    fprintf(stderr, "nkhost: %s\n", problem.what());
  } catch (const Malformed& problem) {
    fprintf(stderr, "nkhost: %s: %s\n", path.c_str(), problem.what());
  }
  return kExitLoadFailed;
}

int info(const fs::path& path, bool with_symbols) {
  return with_image_file(path, [&](const auto& bytes) {
    fputs(summarize_mach_file(bytes).c_str(), stdout);
    if (with_symbols) fputs(list_symbols(bytes).c_str(), stdout);
  });
}

int symbolize_command(const std::vector<std::string_view>& args) {
  if (args.size() < 2) return usage_error("symbolize needs a FILE and at least one ADDRESS");
  std::vector<uint64_t> addresses;
  for (auto text : std::span(args).subspan(1)) {
    auto address = parse_address(text);
    if (!address)
      return usage_error("symbolize: '" + std::string(text) + "' is not a hexadecimal address");
    addresses.push_back(*address);
  }
  fs::path path = args.front();
  return with_image_file(path, [&](const auto& bytes) {
    fputs(symbolize(bytes, path.filename().string(), addresses).c_str(), stdout);
  });
}

int dispatch(const std::vector<std::string_view>& args) {
  if (args.empty()) return usage_error("no command given");
  std::string_view command = args.front();
  std::vector<std::string_view> rest(args.begin() + 1, args.end());
  if (command == "--help" || command == "-h" || command == "help") {
    fputs(kUsage.data(), stdout);
    return 0;
  }
  if (command == "--version") {
    fputs(kVersion.data(), stdout);
    return 0;
  }
  if (command == "info") {
    bool with_symbols = std::erase(rest, "--symbols") > 0;
    if (rest.size() != 1 || rest.front().starts_with("--"))
      return usage_error("info needs exactly one FILE (and optionally --symbols)");
    return info(rest.front(), with_symbols);
  }
  if (command == "symbolize") return symbolize_command(rest);
  if (command != "run") return usage_error("unknown command '" + std::string(command) + "'");
  RunOptions options;
  try {
    options = parse_run(rest);
  } catch (const UsageError& problem) {
    return usage_error(problem.message);
  } catch (const WindowOptionError& problem) {
    return usage_error(problem.what());
  }
  return run(options);
}

}  // namespace

// Anything nkhost did not foresee ends here, as its own failure rather than the program's.
int main(int argc, char** argv) {
  try {
    return dispatch(std::vector<std::string_view>(argv + 1, argv + argc));
  } catch (const std::exception& problem) {
    fflush(stdout);
    fprintf(stderr, "nkhost: internal error: %s\n", problem.what());
  } catch (...) {
    fflush(stdout);
    fprintf(stderr, "nkhost: internal error: an unknown exception\n");
  }
  return kExitInternal;
}

