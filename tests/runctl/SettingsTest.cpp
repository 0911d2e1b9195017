#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/Settings.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::WriteFile;

class SettingsTest : public ::testing::Test {
 protected:
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  test::TempDir dir;
};

TEST_F(SettingsTest, FindsKeyInItsSectionWithoutRegardToCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"[Working]\r\nSkelPath=Skel\r\n", "Skel"},
      {"[working]\nSKELPATH = Skel\n", "Skel"},
      {"[Other]\nSkelPath=Wrong\n[ Working ]\n; note\nskelpath=Right\n", "Right"},
      {"\xEF\xBB\xBF[Working]\nSkelPath=Skel\n", "Skel"},
      {"[Working]\nSkelPath=\"My Skel\"\n", "My Skel"},
      {"[Working]\nSkelPath='Skel'\n", "Skel"},
      {"[Working]\nSkelPath=" + std::string(300, 'x') + "\n", std::string(254, 'x')},
      // A key belongs to the section it stands in, not to an earlier one.
      {"[Working]\n[Next]\nSkelPath=Skel\n", ""},
      {"[Elsewhere]\nSkelPath=Skel\n", ""},
      {"[Working]\nOther=Skel\n", ""},
      {"", ""},
  };
  for (const auto& [content, value] : cases) {
    WriteFile(dir / "RivanetAppend.ini", content);
    EXPECT_EQ(ReadIniValue("Working", "SkelPath", dir / "RivanetAppend.ini", *files), value)
        << content;
  }
  EXPECT_EQ(ReadIniValue("Working", "SkelPath", dir / "absent.ini", *files), "");
}

TEST_F(SettingsTest, UnlimitedLookupTellsMissingFromEmptyAndFailsOnUnreadableFile) {
  WriteFile(dir / "run.ini", "[Run]\nListFile=" + std::string(400, 'p') + "\nEmpty=\n");
  EXPECT_EQ(FindIniValue("run", "listfile", dir / "run.ini", *files)->size(), 400u);
  EXPECT_EQ(FindIniValue("Run", "Empty", dir / "run.ini", *files), std::string());
  EXPECT_EQ(FindIniValue("Run", "Absent", dir / "run.ini", *files), std::nullopt);
  EXPECT_THROW(FindIniValue("Run", "ListFile", dir / "none.ini", *files), AppError);
}

}  // namespace
}  // namespace rivanet
