#include "Skeleton.h"

#include <unistd.h>

#include <stdexcept>
#include <string>
#include <system_error>

#include "SchemaWriter.h"
#include "platform/database/Database.h"

namespace rivanet::skelgen {

namespace fs = std::filesystem;

namespace {

// A sibling of `target` that no other generator run uses at the same time.
fs::path TemporarySibling(const fs::path& target, const char* tag) {
  return fs::path(target.string() + "." + tag + "-" + std::to_string(::getpid()));
}

void RemoveQuietly(const fs::path& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
}

// Removes a temporary file or folder unless it was handed over.
class TemporaryPath {
 public:
  explicit TemporaryPath(fs::path path) : m_path(std::move(path)) { RemoveQuietly(m_path); }
  ~TemporaryPath() {
    if (!m_released) RemoveQuietly(m_path);
  }
  TemporaryPath(const TemporaryPath&) = delete;
  TemporaryPath& operator=(const TemporaryPath&) = delete;
  const fs::path& Path() const { return m_path; }
  void Release() { m_released = true; }

 private:
  fs::path m_path;
  bool m_released = false;
};

void MakeAppDir(const fs::path& appDir) {
  std::error_code ec;
  fs::create_directories(appDir, ec);
  if (ec) throw std::runtime_error(appDir.string() + ": cannot create the folder: " + ec.message());
}

// The statements are fixed text; nothing from the schema or the command line enters them.
constexpr const char* kScratchDdl =
    "BEGIN;"
    "CREATE TABLE tblImport(myValue INTEGER, Comid INTEGER, Prod_unit TEXT);"
    "CREATE INDEX idxImportMyValue ON tblImport(myValue);"
    "CREATE TABLE tblVat(myValue INTEGER);"
    "CREATE INDEX idxVatMyValue ON tblVat(myValue);"
    "COMMIT;";

}  // namespace

void WriteSkeleton(const schema::Schema& schema, const fs::path& appDir) {
  MakeAppDir(appDir);
  const fs::path target = appDir / kSkeletonFolderName;
  TemporaryPath fresh(TemporarySibling(target, "new"));
  schema::WriteEmptyWorkspace(fresh.Path(), schema);

  // A folder cannot be renamed over a non-empty one: move the old skeleton aside first
  // and put it back if the new one cannot take its place.
  std::error_code ec;
  const bool hadOld = fs::exists(target, ec);
  TemporaryPath old(TemporarySibling(target, "old"));
  if (hadOld) {
    fs::rename(target, old.Path(), ec);
    if (ec)
      throw std::runtime_error(target.string() +
                               ": cannot move the old skeleton aside: " + ec.message());
  }
  fs::rename(fresh.Path(), target, ec);
  if (ec) {
    std::string message =
        target.string() + ": cannot put the new skeleton in place: " + ec.message();
    if (hadOld) {
      std::error_code back;
      fs::rename(old.Path(), target, back);
      if (back) {
        // Never delete the only copy of the previous skeleton.
        old.Release();
        message += "; the previous skeleton is left at " + old.Path().string();
      }
    }
    throw std::runtime_error(message);
  }
  fresh.Release();
}

void WriteScratchDatabase(const fs::path& appDir) {
  MakeAppDir(appDir);
  const fs::path target = appDir / kScratchDatabaseName;
  TemporaryPath fresh(TemporarySibling(target, "new"));
  TemporaryPath journal(fs::path(fresh.Path().string() + "-journal"));
  {
    db::Connection db(fresh.Path(), db::OpenMode::Create);
    db.Execute(kScratchDdl);
    db.Close();
  }
  std::error_code ec;
  fs::rename(fresh.Path(), target, ec);  // replaces an older database in one step
  if (ec)
    throw std::runtime_error(target.string() +
                             ": cannot put the new database in place: " + ec.message());
  fresh.Release();
}

}  // namespace rivanet::skelgen
