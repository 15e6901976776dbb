#pragma once
// Runs a shell command line as a user would and keeps what it printed.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace hv::test {

struct ProgramRun {
  int exitCode = -1;
  std::string out;
};

// `command` is given to /bin/sh; its standard output is kept (redirect
// standard error into it with 2>&1). exitCode is -1 when it did not exit.
inline ProgramRun RunShell(const std::string& command) {
  ProgramRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) run.out += buffer.data();
  const int status = ::pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace hv::test
