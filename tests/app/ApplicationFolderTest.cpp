// Which application folder a run uses, and how an installed program makes the per-user one.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <utility>

#include "app/ApplicationFolder.h"
#include "app/SeedFolder.h"
#include "app/Startup.h"
#include "platform/Error.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace rivanet {
namespace {

namespace fs = std::filesystem;
using test::Changes;
using test::Snapshot;
using test::TempDir;
using test::Tree;
using test::WriteFile;

TEST(ApplicationFolderTest, ChoiceFollowsVariableThenProgramFolderThenPerUserFolder) {
  struct Case {
    const char* name;
    std::optional<std::string> homeVariable, xdgDataHome, userHome;
    bool iniBesideProgram;
    std::string folder;   // "<bin>": the program's folder
    std::string because;  // what --help gives as the reason
  };
  const Case cases[] = {
      {"variable wins over the settings file", "/srv/rivanet/", "/x", "/home/u", true,
       "/srv/rivanet", "because RIVANETAPPEND_HOME names it"},
      {"build folder or portable copy", std::nullopt, "/x", "/home/u", true, "<bin>",
       "the program's own folder holds RivanetAppend.ini"},
      {"installed, XDG_DATA_HOME set", std::nullopt, "/x/data/", "/home/u", false,
       "/x/data/RivanetAppend", "made on first use\n  from "},
      {"installed, default place", std::nullopt, std::nullopt, "/home/u", false,
       "/home/u/.local/share/RivanetAppend", "/prefix/bin\n  holds no RivanetAppend.ini"},
      {"relative XDG_DATA_HOME is ignored", std::nullopt, "data", "/home/u", false,
       "/home/u/.local/share/RivanetAppend", "made on first use"},
      {"no home at all", std::nullopt, std::nullopt, std::nullopt, false, "",
       "neither XDG_DATA_HOME nor HOME"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string folder = c.folder == "<bin>" ? (dir / "prefix/bin").string() : c.folder;
    fs::create_directories(dir / "prefix/bin");
    if (c.iniBesideProgram) WriteFile(dir / "prefix/bin/rivanetappend.INI", "[Working]\n");
    StartupEnvironment env;
    env.appFolder =
        ChooseApplicationFolder({c.homeVariable, c.xdgDataHome, c.userHome, dir / "prefix/bin"});
    EXPECT_EQ(env.appFolder.folder, folder);
    // --help names the folder and the reason.
    std::ostringstream out;
    env.args = {"--help"};
    env.out = &out;
    EXPECT_EQ(Main(env), 0);
    EXPECT_NE(out.str().find("Application folder (log, settings, skeleton): " +
                             (folder.empty() ? "none" : folder)),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find(c.because), std::string::npos) << out.str();
  }
}

// RIVANETAPPEND_HOME, HOME and the program's folder are read by every batch test and by the
// package test; XDG_DATA_HOME only here.
TEST(ApplicationFolderTest, XdgDataHomeIsReadFromTheEnvironment) {
  const test::ScopedEnv xdg("XDG_DATA_HOME", "/x/data");
  EXPECT_EQ(ReadAppFolderInputs(nullptr).xdgDataHome, "/x/data");
}

// An installed share folder, copied from what the build generated, and a home under `root`.
struct Install {
  explicit Install(const fs::path& root)
      : seed(root / "usr/share/rivanetappend"), data(root / "home/.local/share") {
    const fs::path app = RIVANET_APP_DIR;
    fs::create_directories(seed);
    for (const char* item : {"RivanetAppend.ini", "VatWorkSkel.mdb", "Skel"})
      fs::copy(app / item, seed / item, fs::copy_options::recursive);
    // Installed files are read-only to the user; their copies must not be.
    fs::permissions(seed / "RivanetAppend.ini", fs::perms::owner_read | fs::perms::group_read);
  }
  fs::path Folder() const { return data / "RivanetAppend"; }
  // Nothing but the folder itself: no staging folder is left beside it.
  Tree Beside() const { return Snapshot(data, {"RivanetAppend/"}); }
  fs::path seed;
  fs::path data;
};

TEST(SeedFolderTest, CopiesWhatIsMissingAndKeepsEveryFileThatIsThere) {
  // The folder was seeded before and its user then removed entries and wrote files. (A fresh
  // folder: TwoRunsSeedingAtOnceLeaveOneWholeCopy.)
  struct Case {
    const char* name;
    std::vector<std::string> removed;
    Tree userFiles;
    bool standIns;  // the user's files stand for the removed entries (letter case aside)
  };
  const Case cases[] = {
      {"partly seeded, the user changed files",
       {"Skel/Drainage", "VatWorkSkel.mdb"},
       {{"RivanetAppend.ini", "[Working]\nSkelPath=Mine\n"},
        {"notes.txt", "mine"},
        {"Skel/hydrography/RVXArea.dbf", "changed by the user"}},
       false},
      {"names in another letter case count as present",
       {"RivanetAppend.ini", "VatWorkSkel.mdb"},
       {{"rivanetappend.ini", "mine"}, {"vatworkskel.MDB", "mine"}},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Install install(dir.Path());
    SeedApplicationFolder(install.seed, install.Folder());
    for (const auto& name : c.removed) fs::remove_all(install.Folder() / name);
    for (const auto& [name, content] : c.userFiles) {
      fs::remove(install.Folder() / name);
      WriteFile(install.Folder() / name, content);
    }
    SeedApplicationFolder(install.seed, install.Folder());

    Tree expected = Snapshot(install.seed);
    if (c.standIns)
      for (const auto& name : c.removed) expected.erase(name);
    for (const auto& [name, content] : c.userFiles) expected[name] = content;
    EXPECT_EQ(Changes(expected, Snapshot(install.Folder())), test::kNoChanges);
    EXPECT_EQ(install.Beside(), (Tree{{"RivanetAppend", "<dir>"}}));
  }
  // A folder the user made a link to another one is filled there, and stays a link; the copy
  // of a read-only installed file is the user's to change.
  TempDir dir;
  const Install install(dir.Path());
  fs::create_directories(dir / "elsewhere");
  fs::create_directories(install.data);
  fs::create_directory_symlink(dir / "elsewhere", install.Folder());
  SeedApplicationFolder(install.seed, install.Folder());
  EXPECT_TRUE(fs::is_symlink(install.Folder()));
  EXPECT_EQ(Changes(Snapshot(install.seed), Snapshot(dir / "elsewhere")), test::kNoChanges);
  EXPECT_NE(
      fs::status(install.Folder() / "RivanetAppend.ini").permissions() & fs::perms::owner_write,
      fs::perms::none);
}

TEST(SeedFolderTest, BrokenInstallOrUnwritableHomeEndsWithStatusTwoAndWritesNothing) {
  using I = const Install&;
  using C = AppFolderChoice&;
  struct Case {
    std::string name;
    std::function<void(I, C)> spoil;
    std::vector<std::string> message;  // what the message names
  };
  std::vector<Case> cases = {
      {"settings name no skeleton",
       [](I i, C) { WriteFile(i.seed / "RivanetAppend.ini", "[Working]\n"); },
       {"RivanetAppend.ini [Working] SkelPath is missing"}},
      // Fails as a read-only home does, for the superuser too.
      {"home cannot hold folders",
       [](I i, C) { WriteFile(i.data.parent_path().parent_path(), "a file"); },
       {"Cannot make the application folder", "home/.local/share/RivanetAppend",
        "RIVANETAPPEND_HOME", "XDG_DATA_HOME"}},
      {"no home at all",
       [](I, C choice) { choice.folder.clear(); },
       {"neither XDG_DATA_HOME nor HOME is set", "RIVANETAPPEND_HOME"}},
  };
  // The share folder, the scratch database, a table and a feature class file of the skeleton.
  for (const std::string gone :
       {"", "/VatWorkSkel.mdb", "/Skel/RVXFlowlineVaa.dbf", "/Skel/hydrography/RVXLine.shx"})
    cases.push_back({"without usr/share/rivanetappend" + gone,
                     [gone](I i, C) { fs::remove_all(i.seed.string() + gone); },
                     {"not completely installed", "usr/share/rivanetappend" + gone + " is missing",
                      "RIVANETAPPEND_HOME"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Install install(dir.Path());
    StartupEnvironment env;
    env.appFolder = {install.Folder(), AppFolderSource::PerUser, {}, install.seed};
    c.spoil(install, env.appFolder);
    WriteFile(dir / "run.ini", "[Run]\n");
    const Tree before = Snapshot(dir.Path());
    std::ostringstream out, err;
    env.args = {(dir / "run.ini").string()};
    env.out = &out;
    env.err = &err;
    EXPECT_EQ(Main(env), 2);
    for (const std::string& piece : c.message)
      EXPECT_NE(err.str().find(piece), std::string::npos) << piece << "\n" << err.str();
    EXPECT_EQ(Changes(before, Snapshot(dir.Path())), test::kNoChanges);
  }
}

TEST(SeedFolderTest, TwoRunsSeedingAtOnceLeaveOneWholeCopy) {
  // Run A stages its copy; before A puts it in place, run B seeds the folder completely.
  // Each marks the copy it staged, so the result shows whose files ended up there.
  TempDir dir;
  const Install install(dir.Path());
  bool interrupted = false;
  SeedApplicationFolder(install.seed, install.Folder(), [&](const fs::path& stagedByA) {
    if (std::exchange(interrupted, true)) return;
    WriteFile(stagedByA / "from-A", "");
    EXPECT_FALSE(fs::exists(install.Folder()));  // nothing of A's copy shows before it is whole
    SeedApplicationFolder(install.seed, install.Folder(),
                          [](const fs::path& stagedByB) { WriteFile(stagedByB / "from-B", ""); });
  });
  Tree expected = Snapshot(install.seed);
  expected["from-B"] = "";
  EXPECT_EQ(Changes(expected, Snapshot(install.Folder())), test::kNoChanges);
  EXPECT_EQ(install.Beside(), (Tree{{"RivanetAppend", "<dir>"}}));
}

}  // namespace
}  // namespace rivanet
