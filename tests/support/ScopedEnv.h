#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace rivanet::test {

// Sets (or, given nullopt, removes) an environment variable for the life of the object and
// puts back what was there before.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value) : m_name(std::move(name)) {
    if (const char* old = std::getenv(m_name.c_str())) m_old = old;
    if (value)
      ::setenv(m_name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(m_name.c_str());
  }
  ~ScopedEnv() {
    if (m_old)
      ::setenv(m_name.c_str(), m_old->c_str(), 1);
    else
      ::unsetenv(m_name.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string m_name;
  std::optional<std::string> m_old;
};

}  // namespace rivanet::test
