#pragma once

#include <filesystem>
#include <optional>

namespace rivanet {

// An advisory lock on one file, held from TryLock until the object ends. The operating system
// releases it when the process ends in any way, so a crashed holder leaves no stale lock. The
// lock file itself stays; only the lock on it comes and goes.
class FileLock {
 public:
  // Takes the lock on `file`, creating the file when it is missing. Nothing when another
  // process holds the lock; throws AppError when the file can be neither opened nor created.
  static std::optional<FileLock> TryLock(const std::filesystem::path& file);

  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock();

 private:
  explicit FileLock(int fd) : m_fd(fd) {}
  int m_fd = -1;
};

}  // namespace rivanet
