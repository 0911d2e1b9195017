#include "support/RunProgram.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "support/TempDir.h"

namespace rivanet::test {
namespace {

std::string TempFile(const char* stem, int& fd) {
  std::string name = std::string("/tmp/rivanet-") + stem + ".XXXXXX";
  fd = ::mkstemp(name.data());
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  return name;
}

}  // namespace

StartedProgram::StartedProgram(const std::filesystem::path& program,
                               const std::vector<std::string>& args,
                               const std::filesystem::path& home, const BeforeExec& beforeExec) {
  int outFd = -1, errFd = -1;
  m_outFile = TempFile("out", outFd);
  m_errFile = TempFile("err", errFd);

  std::vector<std::string> argvStore{program.string()};
  argvStore.insert(argvStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argvStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  m_pid = ::fork();
  if (m_pid < 0) throw std::runtime_error("fork failed");
  if (m_pid == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    const int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    ::setenv("RIVANETAPPEND_HOME", home.c_str(), 1);
    if (beforeExec) beforeExec();
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);
}

StartedProgram::~StartedProgram() {
  if (!m_ended) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, &m_status, 0);
  }
  ::unlink(m_outFile.c_str());
  ::unlink(m_errFile.c_str());
}

bool StartedProgram::Running() {
  if (!m_ended && ::waitpid(m_pid, &m_status, WNOHANG) == m_pid) m_ended = true;
  return !m_ended;
}

std::string StartedProgram::ErrSoFar() const { return ReadFile(m_errFile); }

ProgramResult StartedProgram::Wait() {
  if (!m_ended) ::waitpid(m_pid, &m_status, 0);
  m_ended = true;
  ProgramResult result;
  result.exitCode = WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
  result.out = ReadFile(m_outFile);
  result.err = ReadFile(m_errFile);
  return result;
}

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& home, const BeforeExec& beforeExec) {
  return StartedProgram(program, args, home, beforeExec).Wait();
}

}  // namespace rivanet::test
