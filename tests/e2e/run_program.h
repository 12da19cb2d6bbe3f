#pragma once
// Runs a program with arguments and extra environment, capturing its output.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace zd573::test {

struct RunResult {
  int rc = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A program started with its output going to temporary files; Wait collects
// it. Its input is nothing, or `input` (a terminal's slave end, say).
class Spawned {
 public:
  Spawned(const std::string& exe, const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::string& input = "/dev/null") {
    outFd_ = mkstemp(outPath_);
    errFd_ = mkstemp(errPath_);
    inFd_ = open(input.c_str(), O_RDWR | O_NOCTTY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd_, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd_, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd_, 2);
    std::vector<std::string> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A variable given here replaces one of the same name in our environment.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      bool replaced = false;
      for (const auto& mine : env) replaced |= mine.substr(0, mine.find('=') + 1) == entry.substr(0, entry.find('=') + 1);
      if (!replaced) envStrings.push_back(entry);
    }
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Spawned() {
    if (pid_ > 0) Wait();
  }
  Spawned(const Spawned&) = delete;
  Spawned& operator=(const Spawned&) = delete;

  pid_t pid() const { return pid_; }

  RunResult Wait() {
    RunResult r;
    if (pid_ > 0) {
      int status = 0;
      waitpid(pid_, &status, 0);
      r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = 0;
    }
    if (outFd_ >= 0) {
      close(outFd_);
      close(errFd_);
      close(inFd_);
      outFd_ = -1;
      r.out = Slurp(outPath_);
      r.err = Slurp(errPath_);
      unlink(outPath_);
      unlink(errPath_);
    }
    return r;
  }

 private:
  char outPath_[32] = "/tmp/zd573-run-out-XXXXXX";
  char errPath_[32] = "/tmp/zd573-run-err-XXXXXX";
  int outFd_ = -1, errFd_ = -1, inFd_ = -1;
  pid_t pid_ = 0;
};

inline RunResult RunProgram(const std::string& exe, const std::vector<std::string>& args,
                            const std::vector<std::string>& env = {}) {
  return Spawned(exe, args, env).Wait();
}

}  // namespace zd573::test
