#pragma once
// nkhost as a child process, for tests of the command: started with arguments and extra
// environment, standard output and error captured in files of a scratch directory.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/library_test.h"

extern char** environ;

namespace nk::test {

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class NkhostProcess {
 public:
  // Runs `nkhost run PROGRAM --library LIB args...` with env entries ("NAME=value") added
  // to, or with an empty value removing them from, this process's environment.
  NkhostProcess(const std::filesystem::path& scratch, const std::string& guest,
                std::vector<std::string> args, const std::vector<std::string>& env = {})
      : out_(scratch / (guest + ".out")), err_(scratch / (guest + ".err")) {
    args.insert(args.begin(), {nkhost_path().string(), "run", guest_path(guest).string(),
                               "--library", library_path().string()});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = false;
      for (const std::string& change : env)
        replaced |= entry.substr(0, entry.find('=') + 1) == change.substr(0, change.find('=') + 1);
      if (!replaced) environment.push_back(entry);
    }
    for (const std::string& change : env)
      if (!change.ends_with('=')) environment.push_back(change);
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~NkhostProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  NkhostProcess(const NkhostProcess&) = delete;
  NkhostProcess& operator=(const NkhostProcess&) = delete;

  // The exit status (1000 + signal when killed); a child still running after the timeout
  // is killed and reported as -2.
  int wait(std::chrono::seconds timeout = std::chrono::seconds(60)) {
    if (pid_ <= 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reaped()) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        status_ = -2;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return *status_;
  }
  bool running() { return pid_ > 0 && !reaped(); }
  std::string out() const { return slurp(out_); }
  std::string err() const { return slurp(err_); }

 private:
  bool reaped() {
    int status;
    if (!status_ && waitpid(pid_, &status, WNOHANG) == pid_)
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    return status_.has_value();
  }

  std::filesystem::path out_, err_;
  pid_t pid_ = -1;
  std::optional<int> status_;
};

}  // namespace nk::test
