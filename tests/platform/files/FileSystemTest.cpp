#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

class FileSystemTest : public ::testing::Test {
 protected:
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
};

TEST_F(FileSystemTest, PathsResolveWithoutRegardToLetterCaseExactMatchFirst) {
  WriteFile(dir / "WS1/Drainage/cat/cat.tif", "x");
  EXPECT_TRUE(files->FolderExists(dir / "ws1/drainage/CAT"));
  EXPECT_TRUE(files->FileExists(dir / "Ws1/DRAINAGE/cat/Cat.TIF"));
  EXPECT_FALSE(files->FileExists(dir / "ws1/drainage/cat"));  // a folder is no file
  // A missing component is kept as written, as are those after it.
  EXPECT_EQ(files->Resolve(dir / "ws1/Missing/Cat"), dir / "WS1/Missing/Cat");
  fs::create_directories(dir / "hydrologicUnits");
  fs::create_directories(dir / "hydrologicunits");
  EXPECT_EQ(files->Resolve(dir / "hydrologicunits"), dir / "hydrologicunits");
  EXPECT_EQ(files->Resolve(dir / "hydrologicUnits"), dir / "hydrologicUnits");
  EXPECT_EQ(files->Ambiguity(dir / "hydrologicunits/subbasin.shp"), std::nullopt);
  // Without an exact match, two folders that differ only in letter case are not guessed
  // between, wherever the name stands in the path.
  const std::string both = "The name " + (dir / "HydrologicUnits").string() + " matches " +
                           (dir / "hydrologicUnits").string() + " and " +
                           (dir / "hydrologicunits").string() +
                           ", which differ only in letter case";
  for (const fs::path& path : {dir / "HydrologicUnits", dir / "HydrologicUnits/subbasin.shp"}) {
    EXPECT_EQ(files->Ambiguity(path), both) << path;
    try {
      files->FolderExists(path);
      FAIL() << "a name that matches two folders must be refused: " << path;
    } catch (const AppError& e) {
      EXPECT_EQ(e.Description(), both);
    }
  }
  EXPECT_EQ(files->Ambiguity(dir / "ws1/drainage"), std::nullopt);  // one match: no question

  // A new folder keeps the spelling given, under its resolved parent.
  files->CreateFolder(dir / "ws1/elev_unit");
  EXPECT_TRUE(fs::is_directory(dir / "WS1/elev_unit"));
  EXPECT_THROW(files->CreateFolder(dir / "ws1/elev_unit"), AppError);  // exists already
  try {
    files->CreateFolder(dir / "nowhere/elev_unit");
    FAIL() << "creating a folder under a missing parent must fail";
  } catch (const AppError& e) {
    EXPECT_EQ(std::pair(e.Number(), e.Source()), std::pair(long{ENOENT}, std::string("OS")));
    EXPECT_NE(e.Description().find("nowhere/elev_unit"), std::string::npos) << e.Description();
  }
}

// ProcessWSTest's failed checks show the plainer relations: a folder inside another, the same
// through a link or in other letter case.
TEST_F(FileSystemTest, FolderRelationsSeeThroughLinksLetterCaseAndSpelling) {
  fs::create_directories(dir / "data/in/A/drainage");
  fs::create_directory_symlink(dir / "data/in/A", dir / "link");
  const fs::path d = dir.Path();
  struct Case {
    fs::path folder, other;
    FolderRelation relation;
  };
  const Case cases[] = {
      {d / "data/in/", d / "data/./in", FolderRelation::Same},
      {d / "data", d / "data/in/A/drainage", FolderRelation::Contains},
      {d / "data/inside", d / "data/in", FolderRelation::Apart},  // a name prefix is no parent
      {d / "link/drainage", d / "data/in", FolderRelation::Inside},
      {d / "data/in/A/new/deeper", d / "Data/IN", FolderRelation::Inside},  // not there yet
      {d / "data/in/../in/A", d / "link", FolderRelation::Same},
      {fs::path("relative"), fs::current_path(), FolderRelation::Inside},
  };
  for (const auto& c : cases)
    EXPECT_EQ(files->Relate(c.folder, c.other), c.relation) << c.folder << " and " << c.other;
}

TEST_F(FileSystemTest, CopiesOverwriteInAnyLetterCaseAndFailWhenNothingMatched) {
  WriteFile(dir / "skel/a.dbf", "new-a");
  WriteFile(dir / "skel/B.txt", "new-b");
  WriteFile(dir / "skel/B.txt.bak", "");  // no .txt file
  WriteFile(dir / "skel/hydrography/RVXLine.shp", "line");
  WriteFile(dir / "out/A.DBF", "old-a");  // same file under other case: overwritten, not doubled
  WriteFile(dir / "out/keep.txt", "keep");
  WriteFile(dir / "out/Hydrography/rvxline.SHP", "old line");
  WriteFile(dir / "out/Hydrography/old.shp", "old");

  files->CopyFile(dir / "skel/*", dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/Hydrography/rvxline.SHP"), "old line");  // files only
  files->CopyFolder(dir / "skel/*", dir / "out");
  EXPECT_EQ(test::Snapshot(dir / "out"), (test::Tree{{"A.DBF", "new-a"},
                                                     {"B.txt", "new-b"},
                                                     {"B.txt.bak", ""},
                                                     {"keep.txt", "keep"},
                                                     {"Hydrography", "<dir>"},
                                                     {"Hydrography/rvxline.SHP", "line"},
                                                     {"Hydrography/old.shp", "old"}}));
  EXPECT_EQ(files->CopyMatchingFiles(dir / "skel/*.TXT", dir / "out"), 1u);

  fs::create_directories(dir / "empty/sub");
  try {
    files->CopyFile(dir / "empty/*", dir / "out");
    FAIL() << "a wildcard that matches no file must fail";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), kErrFileNotFound);
    EXPECT_NE(e.Description().find("empty/*"), std::string::npos);
  }
  fs::remove(dir / "empty/sub");
  WriteFile(dir / "empty/file.txt", "");
  EXPECT_THROW(files->CopyFolder(dir / "empty/*", dir / "out"), AppError);  // no folder to copy
  EXPECT_THROW(files->CopyFile(dir / "skel/missing.txt", dir / "x.txt"), AppError);
  EXPECT_EQ(files->CopyMatchingFiles(dir / "empty/*.dbf", dir / "out"), 0u);
}

// What a copy would fail on is found before anything is deleted: an entry of the other kind
// where a file or folder goes. A link there does not count: the copy replaces it.
TEST_F(FileSystemTest, ACopyThatWouldFailIsFoundBeforehand) {
  WriteFile(dir / "skel/a.dbf", "skeleton");
  WriteFile(dir / "skel/sub/a.shp", "skeleton");
  WriteFile(dir / "out/a.dbf", "earlier");
  fs::create_directories(dir / "out/sub");
  files->RequireCopyable(dir / "skel/*", dir / "out");

  const auto expect = [&](const char* what, const std::string& description) {
    SCOPED_TRACE(what);
    try {
      files->RequireCopyable(dir / "skel/*", dir / "OUT");
      FAIL() << "must be refused";
    } catch (const AppError& e) {
      EXPECT_EQ(e.Description(), description);
    }
  };
  fs::remove(dir / "out/a.dbf");
  fs::create_directory(dir / "out/A.dbf");
  expect("a folder where a file goes", "Is a directory: " + (dir / "out/A.dbf").string());
  fs::remove(dir / "out/A.dbf");
  fs::remove(dir / "out/sub");
  WriteFile(dir / "out/sub", "a file");
  expect("a file where a folder goes", "Not a directory: " + (dir / "out/sub").string());
  fs::remove(dir / "out/sub");
  fs::create_symlink(dir / "nowhere", dir / "out/sub");
  fs::create_symlink(dir / "skel", dir / "out/a.dbf");
  files->RequireCopyable(dir / "skel/*", dir / "out");

  // Nor can a file be emptied as a folder.
  try {
    files->RequireWritable(dir / "skel/a.dbf", true);
    FAIL() << "a file is no folder";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Description(), "Not a directory: " + (dir / "skel/a.dbf").string());
  }
}

TEST_F(FileSystemTest, LinksAreReplacedOrRemovedButNeverWrittenThrough) {
  WriteFile(dir / "mine/file.dbf", "mine");
  WriteFile(dir / "mine/folder/a.shp", "mine");
  WriteFile(dir / "skel/a.dbf", "skeleton");
  WriteFile(dir / "skel/sub/a.shp", "skeleton");
  WriteFile(dir / "skel/sub/deeper/b.shp", "skeleton");
  fs::create_directories(dir / "out/sub");
  fs::create_symlink(dir / "mine/file.dbf", dir / "out/a.dbf");
  fs::create_symlink(dir / "mine/file.dbf", dir / "out/sub/a.shp");
  fs::create_directory_symlink(dir / "mine/folder", dir / "out/sub/deeper");
  fs::create_symlink(dir / "mine/file.dbf", dir / "single.dbf");
  WriteFile(dir / "mine/hard.dbf", "mine");
  WriteFile(dir / "skel/hard.dbf", "skeleton");
  fs::create_hard_link(dir / "mine/hard.dbf", dir / "out/hard.dbf");  // another name, same file
  const auto mine = test::Snapshot(dir / "mine");

  files->CopyFile(dir / "skel/*", dir / "out");
  files->CopyFolder(dir / "skel/*", dir / "out");
  files->CopyFile(dir / "skel/a.dbf", dir / "single.dbf");
  EXPECT_EQ(test::Changes(mine, test::Snapshot(dir / "mine")), test::kNoChanges);
  for (const char* copy :
       {"out/a.dbf", "out/hard.dbf", "out/sub/a.shp", "out/sub/deeper/b.shp", "single.dbf"}) {
    EXPECT_FALSE(fs::is_symlink(dir / copy)) << copy;
    EXPECT_EQ(ReadFile(dir / copy), "skeleton") << copy;
  }
  EXPECT_FALSE(fs::is_symlink(dir / "out/sub/deeper"));

  // Deleting a folder (named in any letter case) removes the links in it, never what they
  // point to.
  fs::create_directory_symlink(dir / "mine", dir / "out/sub/away");
  files->DeleteFolder(dir / "OUT");
  EXPECT_FALSE(fs::exists(dir / "out"));
  EXPECT_THROW(files->DeleteFolder(dir / "out"), AppError);
  EXPECT_EQ(test::Changes(mine, test::Snapshot(dir / "mine")), test::kNoChanges);
  files->DeleteFile(dir / "SINGLE.dbf");
  EXPECT_FALSE(fs::exists(dir / "single.dbf"));

  // A file is never copied onto itself, which would empty it.
  fs::create_directory_symlink(dir / "skel", dir / "skel-link");
  EXPECT_THROW(files->CopyFile(dir / "skel/*.dbf", dir / "skel-link"), AppError);
  EXPECT_EQ(ReadFile(dir / "skel/a.dbf"), "skeleton");
}

}  // namespace
}  // namespace rivanet
