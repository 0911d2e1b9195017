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

TEST_F(FileSystemTest, PathsResolveWithoutRegardToLetterCase) {
  WriteFile(dir / "WS1/Drainage/cat/cat.tif", "x");
  EXPECT_TRUE(files->FolderExists(dir / "ws1/drainage/CAT"));
  EXPECT_TRUE(files->FileExists(dir / "Ws1/DRAINAGE/cat/Cat.TIF"));
  EXPECT_EQ(files->Resolve(dir / "ws1/drainage/cat"), dir / "WS1/Drainage/cat");
  EXPECT_FALSE(files->FolderExists(dir / "ws1/drainage/fdr"));
  EXPECT_FALSE(files->FileExists(dir / "ws1/drainage/cat"));  // a folder is no file
  // A missing component is kept as written, as are those after it.
  EXPECT_EQ(files->Resolve(dir / "ws1/Missing/Cat"), dir / "WS1/Missing/Cat");
}

TEST_F(FileSystemTest, ExactMatchWinsOverOtherCase) {
  fs::create_directories(dir / "hydrologicUnits");
  fs::create_directories(dir / "hydrologicunits");
  EXPECT_EQ(files->Resolve(dir / "hydrologicunits"), dir / "hydrologicunits");
  EXPECT_EQ(files->Resolve(dir / "hydrologicUnits"), dir / "hydrologicUnits");
}

TEST_F(FileSystemTest, NewFolderKeepsTheSpellingGivenUnderAResolvedParent) {
  fs::create_directories(dir / "Output");
  files->CreateFolder(dir / "output/elev_unit");
  EXPECT_TRUE(fs::is_directory(dir / "Output/elev_unit"));
  EXPECT_THROW(files->CreateFolder(dir / "output/elev_unit"), AppError);  // exists already
  try {
    files->CreateFolder(dir / "nowhere/elev_unit");
    FAIL() << "creating a folder under a missing parent must fail";
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find("nowhere/elev_unit"), std::string::npos) << e.Description();
    EXPECT_EQ(e.Source(), "OS");
  }
}

TEST_F(FileSystemTest, WildcardCopiesOverwriteAndFailWhenNothingMatched) {
  WriteFile(dir / "skel/a.dbf", "new-a");
  WriteFile(dir / "skel/B.txt", "new-b");
  WriteFile(dir / "skel/hydrography/RVXLine.shp", "line");
  WriteFile(dir / "out/A.DBF", "old-a");  // same file under other case: overwritten, not doubled
  WriteFile(dir / "out/keep.txt", "keep");
  WriteFile(dir / "out/hydrography/old.shp", "old");

  files->CopyFile(dir / "skel/*", dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/A.DBF"), "new-a");
  EXPECT_FALSE(fs::exists(dir / "out/a.dbf"));
  EXPECT_EQ(ReadFile(dir / "out/B.txt"), "new-b");
  EXPECT_EQ(ReadFile(dir / "out/keep.txt"), "keep");
  EXPECT_FALSE(fs::exists(dir / "out/hydrography/RVXLine.shp"));  // files only

  files->CopyFolder(dir / "skel/*", dir / "out");
  EXPECT_EQ(ReadFile(dir / "out/hydrography/RVXLine.shp"), "line");
  EXPECT_EQ(ReadFile(dir / "out/hydrography/old.shp"), "old");

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
  EXPECT_THROW(files->CopyFolder(dir / "empty/*", dir / "out"), AppError);
  EXPECT_EQ(files->CopyMatchingFiles(dir / "empty/*.dbf", dir / "out"), 0u);
  EXPECT_EQ(files->CopyMatchingFiles(dir / "skel/*.TXT", dir / "out"), 1u);
}

TEST_F(FileSystemTest, SingleFileCopyToFileOrFolder) {
  WriteFile(dir / "Active.log", "line\r\n");
  files->CopyFile(dir / "Active.log", dir / "RivanetAppend.log");
  EXPECT_EQ(ReadFile(dir / "RivanetAppend.log"), "line\r\n");
  EXPECT_THROW(files->CopyFile(dir / "Missing.log", dir / "x.log"), AppError);
}

TEST_F(FileSystemTest, TextLinesAndAppend) {
  files->AppendText(dir / "log.txt", "one\r\n");
  files->AppendText(dir / "log.txt", "two\n");
  files->AppendText(dir / "log.txt", "three");
  auto reader = files->OpenTextFile(dir / "LOG.txt");
  std::vector<std::string> lines;
  while (!reader->AtEndOfStream()) lines.push_back(reader->ReadLine());
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));

  EXPECT_THROW(files->OpenTextFile(dir / "missing.txt"), AppError);
  EXPECT_THROW(files->OpenTextFile(dir.Path()), AppError);  // a folder is not a text file
  fs::create_directories(dir / "blocked.log");
  EXPECT_THROW(files->AppendText(dir / "blocked.log", "x"), AppError);
}

TEST_F(FileSystemTest, DeletesFoldersWithContentsAndFiles) {
  WriteFile(dir / "Work/hydrography/a.shp", "a");
  files->DeleteFolder(dir / "work");
  EXPECT_FALSE(fs::exists(dir / "Work"));
  EXPECT_THROW(files->DeleteFolder(dir / "Work"), AppError);
  WriteFile(dir / "f.txt", "");
  files->DeleteFile(dir / "F.TXT");
  EXPECT_FALSE(fs::exists(dir / "f.txt"));
}

TEST(WildcardMatchTest, StarQuestionMarkAndCase) {
  EXPECT_TRUE(WildcardMatch("*", "anything"));
  EXPECT_TRUE(WildcardMatch("*.txt", "notes.TXT"));
  EXPECT_FALSE(WildcardMatch("*.txt", "notes.txt.bak"));
  EXPECT_TRUE(WildcardMatch("a?c*", "abcdef"));
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_TRUE(WildcardMatch("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(WildcardMatch("*a*b", "xxaxxbxxc"));
}

}  // namespace
}  // namespace rivanet
