#pragma once
// Starting whole processes from a benchmark: the benchmarks that time a process's start, or many
// processes at once, share this.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace bench {

// Starts the given number of processes running program with arguments (the first is the
// program's name), all at once, and waits for them; true when every one exited with status 0.
// Adds the CPU time they used, in milliseconds, to *cpuMilliseconds when given.
inline bool runProcesses(const std::string& program, std::vector<std::string> arguments,
                         int processes, double* cpuMilliseconds = nullptr) {
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  std::vector<pid_t> children;
  for (int i = 0; i < processes; ++i) {
    pid_t child = -1;
    if (::posix_spawn(&child, program.c_str(), nullptr, nullptr, pointers.data(), environ) == 0) {
      children.push_back(child);
    }
  }
  int succeeded = 0;
  for (const pid_t child : children) {
    int status = 0;
    struct rusage usage {};
    while (::wait4(child, &status, 0, &usage) < 0) {
    }
    if (cpuMilliseconds) {
      *cpuMilliseconds += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                          (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    }
    succeeded += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
  }
  return succeeded == processes;
}

}  // namespace bench
