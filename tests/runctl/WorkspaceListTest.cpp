#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/WorkspaceList.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using Names = std::vector<std::string>;

class WorkspaceListTest : public ::testing::Test {
 protected:
  Names ReadAll(const std::string& content) {
    test::WriteFile(dir / "list.txt", content);
    WorkspaceList list(*files, dir / "list.txt");
    Names names;
    std::string name;
    while (list.Next(name)) names.push_back(name);
    EXPECT_FALSE(list.Next(name));  // stays at its end
    return names;
  }
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  test::TempDir dir;
};

TEST_F(WorkspaceListTest, LineEndsBlanksAndTheEndOfTheList) {
  const std::string longName(10000, 'w');
  const std::pair<std::string, Names> cases[] = {
      {"A\r\nB\r\n", {"A", "B"}},
      {"A\nB", {"A", "B"}},
      {"  A  \r\n B\r\n", {"A", "B"}},
      // The first empty (or blank-only) line ends the list; nothing after it is read.
      {"A\n\nC\n", {"A"}},
      {"A\n   \r\nC\n", {"A"}},
      {"\nA\n", {}},
      {"", {}},
      // Tabs are part of a name; only blanks are trimmed.
      {"A\tB \n\tC\n", {"A\tB", "\tC"}},
      // An editor's byte-order mark is not part of the first name.
      {"\xEF\xBB\xBFHUC01\nHUC02\n", {"HUC01", "HUC02"}},
      // Duplicates are kept: a name listed twice is appended twice.
      {"A\nA\n", {"A", "A"}},
      {longName + "\r\nB\r\n", {longName, "B"}},
  };
  for (const auto& [content, names] : cases) EXPECT_EQ(ReadAll(content), names) << content;
}

// A list that cannot be read, or that holds a NUL inside a name, is refused naming the file.
TEST_F(WorkspaceListTest, UnreadableListOrNulCharacterIsRefusedNamingTheFile) {
  try {
    WorkspaceList list(*files, dir / "absent.txt");
    FAIL();
  } catch (const AppError& e) {
    EXPECT_EQ(e.Number(), ENOENT);
    EXPECT_NE(e.Description().find((dir / "absent.txt").string()), std::string::npos);
  }
  EXPECT_THROW(WorkspaceList(*files, dir.Path()), AppError);  // a folder

  test::WriteFile(dir / "list.txt", std::string("A\nB\0C\n", 6));
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

}  // namespace
}  // namespace rivanet
