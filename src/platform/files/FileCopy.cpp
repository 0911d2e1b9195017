#include "platform/files/FileCopy.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet::files {
namespace {

[[noreturn]] void ThrowErrno(const fs::path& path) {
  throw AppError::FromErrno(errno != 0 ? errno : EIO, DisplayPath(path));
}

// Closes its descriptor when the copy ends, however it ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return m_fd; }
  void Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }
  // Closes now, so that a failure to write the last data is seen.
  int Close() {
    const int result = ::close(m_fd);
    m_fd = -1;
    return result;
  }

 private:
  int m_fd;
};

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = FoldCase(c);
  return folded;
}

// Copies the bytes from `in` to `out`, in the kernel where it can.
void CopyData(int in, int out, const fs::path& to) {
  constexpr std::size_t kChunk = std::size_t{1} << 30;
  for (;;) {
    const ssize_t sent = ::sendfile(out, in, nullptr, kChunk);
    if (sent > 0) continue;
    if (sent == 0) return;
    if (errno == EINTR) continue;
    if (errno != EINVAL && errno != ENOSYS) ThrowErrno(to);
    break;  // this file system cannot: copy through a buffer
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowErrno(to);
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        ThrowErrno(to);
      }
      done += put;
    }
  }
}

}  // namespace

void CopyRegularFile(const fs::path& from, const fs::path& to) {
  errno = 0;
  Descriptor in(::open(from.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  struct stat source {};
  if (in.Get() < 0 || ::fstat(in.Get(), &source) != 0) ThrowErrno(from);
  const mode_t mode = source.st_mode & 0777;

  // O_NOFOLLOW: a link in the destination's place is not opened but replaced.
  // O_NONBLOCK: a pipe in that place fails instead of waiting for a reader.
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  Descriptor out(::open(to.c_str(), flags, mode));
  if (out.Get() < 0 && errno == ELOOP) {
    if (::unlink(to.c_str()) != 0) ThrowErrno(to);
    out.Reset(::open(to.c_str(), flags | O_EXCL, mode));
  }
  struct stat target {};
  if (out.Get() < 0 || ::fstat(out.Get(), &target) != 0) ThrowErrno(to);
  if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) {
    throw AppError(kErrPermissionDenied, "Cannot copy a file onto itself: " + DisplayPath(from) +
                                             " and " + DisplayPath(to) + " are the same file");
  }
  if (!S_ISREG(target.st_mode))
    throw AppError(kErrPathFileAccess, "Not a regular file: " + DisplayPath(to));
  // A file with other names (hard links) is replaced by a new one: writing into it would
  // change what those names hold as well.
  if (target.st_nlink > 1) {
    out.Reset(-1);
    if (::unlink(to.c_str()) != 0) ThrowErrno(to);
    out.Reset(::open(to.c_str(), flags | O_EXCL, mode));
    if (out.Get() < 0 || ::fstat(out.Get(), &target) != 0) ThrowErrno(to);
  }
  // Only a file that has content is cut: on ext4, cutting a file to nothing makes its close
  // wait for the new data to reach the disk, which a fresh file need not.
  if (target.st_size > 0 && ::ftruncate(out.Get(), 0) != 0) ThrowErrno(to);
  if ((target.st_mode & 0777) != mode && ::fchmod(out.Get(), mode) != 0) ThrowErrno(to);
  CopyData(in.Get(), out.Get(), to);
  if (out.Close() != 0) ThrowErrno(to);
}

FolderIndex::FolderIndex(const fs::path& folder) : m_folder(folder) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    m_byFoldedName.emplace(Folded(name), name);
    m_names.insert(std::move(name));
  }
}

fs::path FolderIndex::Target(const std::string& name) {
  if (m_names.count(name) != 0) return m_folder / name;
  const auto [it, added] = m_byFoldedName.emplace(Folded(name), name);
  if (added) m_names.insert(name);
  return m_folder / it->second;
}

}  // namespace rivanet::files
