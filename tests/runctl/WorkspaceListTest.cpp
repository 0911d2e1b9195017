#include <gtest/gtest.h>

#include "runctl/WorkspaceList.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<std::string> ReadAll(const std::string& content) {
  TempDir dir;
  WriteFile(dir / "list.txt", content);
  auto files = MakeFileSystem();
  WorkspaceList list(*files, dir / "list.txt");
  std::vector<std::string> names;
  std::string name;
  while (list.Next(name)) names.push_back(name);
  EXPECT_FALSE(list.Next(name));  // stays at its end
  return names;
}

using Names = std::vector<std::string>;

TEST(WorkspaceListTest, LineEndsBlanksAndTheEndOfTheList) {
  EXPECT_EQ(ReadAll("A\r\nB\r\n"), (Names{"A", "B"}));
  EXPECT_EQ(ReadAll("A\nB"), (Names{"A", "B"}));
  EXPECT_EQ(ReadAll("  A  \r\n B\r\n"), (Names{"A", "B"}));
  // The first empty (or blank-only) line ends the list; nothing after it is read.
  EXPECT_EQ(ReadAll("A\n\nC\n"), (Names{"A"}));
  EXPECT_EQ(ReadAll("A\n   \r\nC\n"), (Names{"A"}));
  EXPECT_EQ(ReadAll("\nA\n"), Names{});
  EXPECT_EQ(ReadAll(""), Names{});
  // Tabs are part of a name; only blanks are trimmed.
  EXPECT_EQ(ReadAll("A\tB \n\tC\n"), (Names{"A\tB", "\tC"}));
  // An editor's byte-order mark is not part of the first name.
  EXPECT_EQ(ReadAll("\xEF\xBB\xBFHUC01\nHUC02\n"), (Names{"HUC01", "HUC02"}));
  // Duplicates are kept: a name listed twice is appended twice.
  EXPECT_EQ(ReadAll("A\nA\n"), (Names{"A", "A"}));
}

TEST(WorkspaceListTest, VeryLongLineIsOneName) {
  const std::string longName(10000, 'w');
  EXPECT_EQ(ReadAll(longName + "\r\nB\r\n"), (Names{longName, "B"}));
}

TEST(WorkspaceListTest, NulCharacterIsRefusedNamingFileAndLine) {
  TempDir dir;
  WriteFile(dir / "list.txt", std::string("A\nB\0C\n", 6));
  auto files = MakeFileSystem();
  WorkspaceList list(*files, dir / "list.txt");
  std::string name;
  ASSERT_TRUE(list.Next(name));
  try {
    list.Next(name);
    FAIL() << "a NUL inside a name must be refused";
  } catch (const AppError& e) {
    EXPECT_NE(e.Description().find("Line 2 of " + (dir / "list.txt").string()), std::string::npos)
        << e.Description();
  }
}

TEST(WorkspaceListTest, MissingOrUnreadableListRaisesNamingIt) {
  TempDir dir;
  auto files = MakeFileSystem();
  try {
    WorkspaceList list(*files, dir / "absent.txt");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find("absent.txt"), std::string::npos);
  }
  EXPECT_THROW(WorkspaceList(*files, dir.Path()), AppError);  // a folder
}

}  // namespace
}  // namespace rivanet
