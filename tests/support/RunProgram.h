#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace rivanet::test {

struct ProgramResult {
  int exitCode = -1;  // -1 when the program did not exit normally (crashed)
  std::string out;
  std::string err;
};

// Runs in the started child just before it becomes the program, to change what the program
// may do (its user, its limits). It must keep to calls that are safe after fork().
using BeforeExec = std::function<void()>;

// `program` started with `args` and RIVANETAPPEND_HOME set to `home`, running beside the
// test until Wait(); a program still running when the object ends is killed.
class StartedProgram {
 public:
  StartedProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& home, const BeforeExec& beforeExec = {});
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  pid_t Pid() const { return m_pid; }
  // True while the program has not ended.
  bool Running();
  // What the program has written to standard error so far.
  std::string ErrSoFar() const;
  ProgramResult Wait();

 private:
  pid_t m_pid = -1;
  int m_status = 0;
  bool m_ended = false;
  std::string m_outFile;
  std::string m_errFile;
};

// Runs `program` to its end (see StartedProgram) and collects its output.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& home, const BeforeExec& beforeExec = {});

}  // namespace rivanet::test
