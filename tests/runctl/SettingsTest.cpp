#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "runctl/Settings.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

using test::TempDir;
using test::WriteFile;

class SettingsTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& content, const std::string& section = "Working",
                   const std::string& key = "SkelPath") {
    WriteFile(dir / "RivanetAppend.ini", content);
    return ReadIniValue(section, key, dir / "RivanetAppend.ini", *files);
  }
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  TempDir dir;
};

TEST_F(SettingsTest, FindsKeyInSectionWithoutRegardToCase) {
  EXPECT_EQ(Read("[Working]\r\nSkelPath=Skel\r\n"), "Skel");
  EXPECT_EQ(Read("[working]\nSKELPATH = Skel\n"), "Skel");
  EXPECT_EQ(Read("[Other]\nSkelPath=Wrong\n[ Working ]\n; note\nskelpath=Right\n"), "Right");
  EXPECT_EQ(Read("\xEF\xBB\xBF[Working]\nSkelPath=Skel\n"), "Skel");
}

TEST_F(SettingsTest, RemovesQuotesAndCutsLongValues) {
  EXPECT_EQ(Read("[Working]\nSkelPath=\"My Skel\"\n"), "My Skel");
  EXPECT_EQ(Read("[Working]\nSkelPath='Skel'\n"), "Skel");
  EXPECT_EQ(Read("[Working]\nSkelPath=" + std::string(300, 'x') + "\n"), std::string(254, 'x'));
}

TEST_F(SettingsTest, MissingFileSectionOrKeyGivesEmpty) {
  EXPECT_EQ(ReadIniValue("Working", "SkelPath", dir / "absent.ini", *files), "");
  EXPECT_EQ(Read("[Elsewhere]\nSkelPath=Skel\n"), "");
  EXPECT_EQ(Read("[Working]\nOther=Skel\n"), "");
  EXPECT_EQ(Read(""), "");
  // The key belongs to the section it stands in, not to an earlier one.
  EXPECT_EQ(Read("[Working]\n[Next]\nSkelPath=Skel\n"), "");
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
