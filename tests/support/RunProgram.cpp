#include "support/RunProgram.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/TempDir.h"

namespace rivanet::test {

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& home) {
  char outTemplate[] = "/tmp/rivanet-out.XXXXXX";
  char errTemplate[] = "/tmp/rivanet-err.XXXXXX";
  const int outFd = ::mkstemp(outTemplate);
  const int errFd = ::mkstemp(errTemplate);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");

  std::vector<std::string> argvStore{program.string()};
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    ::setenv("RIVANETAPPEND_HOME", home.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(outFd);
  ::close(errFd);
  ProgramResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = ReadFile(outTemplate);
  result.err = ReadFile(errTemplate);
  ::unlink(outTemplate);
  ::unlink(errTemplate);
  return result;
}

}  // namespace rivanet::test
