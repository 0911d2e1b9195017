#include "app/SeedFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/Settings.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

constexpr const char* kScratchDatabase = "VatWorkSkel.mdb";

[[noreturn]] void Missing(const fs::path& what) {
  throw AppError(kErrFileNotFound, std::string(kAppTitle) +
                                       " is not completely installed: " + DisplayPath(what) +
                                       " is missing. Reinstall it, or set RIVANETAPPEND_HOME "
                                       "to a prepared application folder");
}

// A failure while making the folder, as the user sees it: which folder, why, and how to
// choose another.
class SetupFailure {
 public:
  SetupFailure(int err, fs::path path) : m_err(err), m_path(std::move(path)) {}
  AppError For(const fs::path& folder) const {
    return AppError(m_err,
                    "Cannot make the application folder " + DisplayPath(folder) + ": " +
                        std::error_code(m_err, std::generic_category()).message() + ": " +
                        DisplayPath(m_path) +
                        ". Set RIVANETAPPEND_HOME to a folder you can write, or XDG_DATA_HOME "
                        "to move the per-user folder",
                    ErrorScheme::Os);
  }

 private:
  int m_err;
  fs::path m_path;
};

void Check(const std::error_code& ec, const fs::path& path) {
  if (ec) throw SetupFailure(ec.value(), path);
}

// The copy is the user's own: whatever the install's permissions, they may change it. The
// copy holds no links (copying follows them).
void MakeOwnerWritable(const fs::path& root) {
  std::error_code ec;
  const auto add = [&](const fs::path& p, bool folder) {
    const fs::perms owner =
        folder ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(p, owner, fs::perm_options::add, ec);
    Check(ec, p);
  };
  const bool folder = fs::is_directory(root);
  add(root, folder);
  if (!folder) return;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    add(it->path(), it->is_directory());
  Check(ec, root);
}

// Puts `staged` in place as `target` unless something of that name exists already; false
// when it did.
bool PutInPlace(const fs::path& staged, const fs::path& target, bool folder) {
  if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // A file system without no-replace renames: a folder rename never replaces a folder
    // that holds anything, and a hard link never replaces a file.
    if ((folder ? std::rename(staged.c_str(), target.c_str())
                : ::link(staged.c_str(), target.c_str())) == 0)
      return true;
    err = errno;
  }
  if (err == EEXIST || err == ENOTEMPTY) return false;
  throw SetupFailure(err, target);
}

// A temporary folder beside `target`, on the same file system so that the final rename is
// atomic; removed with whatever is left in it.
class StagingFolder {
 public:
  explicit StagingFolder(const fs::path& target) {
    std::string hidden(1, '.');
    hidden += target.filename().string();
    hidden += ".seed-XXXXXX";
    std::string name = (target.parent_path() / hidden).string();
    if (::mkdtemp(name.data()) == nullptr) throw SetupFailure(errno, target.parent_path());
    m_path = name;
  }
  ~StagingFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

class Seeder {
 public:
  explicit Seeder(const SeedStagedHook& staged) : m_staged(staged) {}

  // Gives `target` what it lacks of `source`.
  void Seed(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    const fs::file_status there = fs::symlink_status(target, ec);
    if (!fs::exists(there)) {
      if (Publish(source, target)) return;
    }
    // Something is there: descend only into a real folder (a link is the user's and is left
    // as it is, as is a file that stands where the seed has a folder).
    if (!fs::is_directory(fs::symlink_status(target)) || !fs::is_directory(source)) return;
    std::vector<fs::path> names;
    for (fs::directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec))
      names.push_back(it->path().filename());
    Check(ec, source);
    // In name order, so that a seed is repeatable.
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names) Seed(source / name, m_files->Resolve(target / name));
  }

 private:
  // Copies `source` to a staging folder and renames it to `target`; false when something
  // took the name meanwhile (another run seeding at the same time).
  bool Publish(const fs::path& source, const fs::path& target) {
    const StagingFolder staging(target);
    const fs::path staged = staging.Path() / target.filename();
    std::error_code ec;
    fs::copy(source, staged, fs::copy_options::recursive, ec);
    Check(ec, staged);
    MakeOwnerWritable(staged);
    if (m_staged) m_staged(staged);
    return PutInPlace(staged, target, fs::is_directory(staged));
  }

  const SeedStagedHook& m_staged;
  std::unique_ptr<FileSystem> m_files = MakeFileSystem();
};

}  // namespace

void CheckSeedFolder(const fs::path& seed) {
  const auto files = MakeFileSystem();
  if (!files->FolderExists(seed)) Missing(seed);
  const fs::path settings = seed / (std::string(kAppTitle) + ".ini");
  if (!files->FileExists(settings)) Missing(settings);
  if (!files->FileExists(seed / kScratchDatabase)) Missing(seed / kScratchDatabase);
  const std::string skelPath = ReadIniValue("Working", "SkelPath", settings, *files);
  if (skelPath.empty()) Missing(settings.string() + " [Working] SkelPath");
  const fs::path skeleton = seed / skelPath;
  if (!files->FolderExists(skeleton)) Missing(skeleton);
  const schema::Schema& layout = schema::ShippedSchema();
  for (const schema::FeatureClass& fc : layout.featureClasses) {
    const fs::path folder = fc.folder.empty() ? skeleton : skeleton / fc.folder;
    for (const char* extension : {".shp", ".shx", ".dbf"})
      if (!files->FileExists(folder / (fc.name + extension)))
        Missing(folder / (fc.name + extension));
  }
  for (const schema::Table& table : layout.tables)
    if (!files->FileExists(skeleton / (table.name + ".dbf")))
      Missing(skeleton / (table.name + ".dbf"));
}

void SeedApplicationFolder(const fs::path& seed, const fs::path& folder,
                           const SeedStagedHook& staged) {
  CheckSeedFolder(seed);
  try {
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    Check(ec, folder.parent_path());
    // A user who made the folder a link to one elsewhere (a larger disk) means that one;
    // inside it, links are left as they are.
    fs::path target = folder;
    if (fs::is_symlink(fs::symlink_status(folder)) && fs::is_directory(folder)) {
      target = fs::canonical(folder, ec);
      Check(ec, folder);
    }
    Seeder(staged).Seed(seed, target);
  } catch (const SetupFailure& failure) {
    throw failure.For(folder);
  }
}

}  // namespace rivanet
