// Which application folder a run uses, and how an installed program makes the per-user one.
#include <gtest/gtest.h>
#include <unistd.h>

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
using test::ReadFile;
using test::Snapshot;
using test::TempDir;
using test::Tree;
using test::WriteFile;

struct ChoiceCase {
  const char* name;
  std::optional<std::string> homeVariable, xdgDataHome, userHome;
  bool iniBesideProgram;
  AppFolderSource source;
  std::string folder;   // "<tmp>" stands for the test's folder
  const char* because;  // what --help gives as the reason
};

TEST(ApplicationFolderTest, ChoiceFollowsVariablesThenProgramFolderThenPerUserFolder) {
  const ChoiceCase cases[] = {
      {"variable wins over the settings file", "/srv/rivanet/", "/x", "/home/u", true,
       AppFolderSource::HomeVariable, "/srv/rivanet", "because RIVANETAPPEND_HOME names it"},
      {"build folder or portable copy", std::nullopt, "/x", "/home/u", true,
       AppFolderSource::ProgramFolder, "<tmp>/prefix/bin",
       "the program's own folder holds RivanetAppend.ini"},
      {"installed, XDG_DATA_HOME set", std::nullopt, "/x/data/", "/home/u", false,
       AppFolderSource::PerUser, "/x/data/RivanetAppend",
       "made on first use\n  from <tmp>/prefix/share/rivanetappend"},
      {"installed, default place", std::nullopt, std::nullopt, "/home/u", false,
       AppFolderSource::PerUser, "/home/u/.local/share/RivanetAppend",
       "<tmp>/prefix/bin\n  holds no RivanetAppend.ini"},
      {"relative XDG_DATA_HOME is ignored", std::nullopt, "data", "/home/u", false,
       AppFolderSource::PerUser, "/home/u/.local/share/RivanetAppend",
       "/home/u/.local/share/RivanetAppend\n  because"},
      {"no home at all", std::nullopt, std::nullopt, std::nullopt, false, AppFolderSource::PerUser,
       "", "neither XDG_DATA_HOME nor HOME"},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const auto expand = [&](std::string text) {
      if (const auto at = text.find("<tmp>"); at != std::string::npos)
        text.replace(at, 5, dir.Path().string());
      return text;
    };
    fs::create_directories(dir / "prefix/bin");
    if (c.iniBesideProgram) WriteFile(dir / "prefix/bin/rivanetappend.INI", "[Working]\n");
    const AppFolderChoice choice =
        ChooseApplicationFolder({c.homeVariable, c.xdgDataHome, c.userHome, dir / "prefix/bin"});
    EXPECT_EQ(choice.source, c.source);
    EXPECT_EQ(choice.folder, expand(c.folder));
    if (c.source == AppFolderSource::PerUser) {
      EXPECT_EQ(choice.seedFolder, dir / "prefix/share/rivanetappend");
    }

    // --help names the folder and the reason.
    std::ostringstream out;
    StartupEnvironment env;
    env.args = {"--help"};
    env.out = &out;
    env.appFolder = choice;
    EXPECT_EQ(Main(env), 0);
    EXPECT_NE(out.str().find("Application folder (log, settings, skeleton): " +
                             (c.folder.empty() ? "none" : expand(c.folder))),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find(expand(c.because)), std::string::npos) << out.str();
  }
}

TEST(ApplicationFolderTest, InputsComeFromTheEnvironmentAndTheRunningExecutable) {
  const test::ScopedEnv home("RIVANETAPPEND_HOME", "/srv/rivanet");
  const test::ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  const test::ScopedEnv user("HOME", "/home/u");
  const AppFolderInputs in = ReadAppFolderInputs(nullptr);
  EXPECT_EQ(in.homeVariable, "/srv/rivanet");
  EXPECT_EQ(in.xdgDataHome, std::nullopt);
  EXPECT_EQ(in.userHome, "/home/u");
  EXPECT_EQ(in.programFolder, fs::read_symlink("/proc/self/exe").parent_path());
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
  fs::path seed;
  fs::path data;
};

struct SeedCase {
  const char* name;
  // The folder was seeded before and then changed by its user: these files written (or
  // rewritten), and these seed entries removed. Nothing at all: no folder yet.
  Tree userFiles;
  std::vector<std::string> removed;
  // Seed entries that a user's file of the same name in another letter case stands for.
  std::vector<std::string> standIns;
};

TEST(SeedFolderTest, CopiesWhatIsMissingAndKeepsEveryFileThatIsThere) {
  const SeedCase cases[] = {
      {"fresh", {}, {}, {}},
      {"partly seeded, the user changed files",
       {{"RivanetAppend.ini", "[Working]\nSkelPath=Mine\n"},
        {"notes.txt", "mine"},
        {"Skel/hydrography/RVXArea.dbf", "changed by the user"}},
       {"Skel/Drainage", "VatWorkSkel.mdb"},
       {}},
      {"names in another letter case count as present",
       {{"rivanetappend.ini", "mine"}, {"vatworkskel.MDB", "mine"}},
       {"RivanetAppend.ini", "VatWorkSkel.mdb"},
       {"RivanetAppend.ini", "VatWorkSkel.mdb"}},
  };
  for (const SeedCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const Install install(dir.Path());
    if (!c.userFiles.empty()) {
      SeedApplicationFolder(install.seed, install.Folder());
      for (const auto& name : c.removed) fs::remove_all(install.Folder() / name);
      for (const auto& [name, content] : c.userFiles) {
        fs::remove(install.Folder() / name);
        WriteFile(install.Folder() / name, content);
      }
    }
    SeedApplicationFolder(install.seed, install.Folder());

    Tree expected = Snapshot(install.seed);
    for (const auto& name : c.standIns) expected.erase(name);
    for (const auto& [name, content] : c.userFiles) expected[name] = content;
    EXPECT_EQ(Changes(expected, Snapshot(install.Folder())), test::kNoChanges);
    // No staging folder is left beside it.
    EXPECT_EQ(Snapshot(install.data, {"RivanetAppend/"}), (Tree{{"RivanetAppend", "<dir>"}}));
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

struct BadCase {
  const char* name;
  std::function<void(const Install&, AppFolderChoice&)> spoil;
  std::vector<std::string> message;  // what the message names
};

TEST(SeedFolderTest, BrokenInstallOrUnwritableHomeEndsWithStatusTwoAndWritesNothing) {
  const auto home = [](const Install& i) { return i.data.parent_path().parent_path(); };
  const BadCase cases[] = {
      {"no share folder",
       [](const Install& i, AppFolderChoice&) { fs::remove_all(i.seed); },
       {"not completely installed", "usr/share/rivanetappend is missing", "RIVANETAPPEND_HOME"}},
      {"no scratch database",
       [](const Install& i, AppFolderChoice&) { fs::remove(i.seed / "VatWorkSkel.mdb"); },
       {"usr/share/rivanetappend/VatWorkSkel.mdb is missing"}},
      {"skeleton lacks a table",
       [](const Install& i, AppFolderChoice&) { fs::remove(i.seed / "Skel/RVXFlowlineVaa.dbf"); },
       {"usr/share/rivanetappend/Skel/RVXFlowlineVaa.dbf is missing"}},
      {"skeleton lacks a feature class file",
       [](const Install& i, AppFolderChoice&) {
         fs::remove(i.seed / "Skel/hydrography/RVXLine.shx");
       },
       {"usr/share/rivanetappend/Skel/hydrography/RVXLine.shx is missing"}},
      {"settings name no skeleton",
       [](const Install& i, AppFolderChoice&) {
         WriteFile(i.seed / "RivanetAppend.ini", "[Working]\n");
       },
       {"RivanetAppend.ini [Working] SkelPath is missing"}},
      {"home cannot hold folders",
       [&](const Install& i, AppFolderChoice&) { WriteFile(home(i), "a file"); },
       {"Cannot make the application folder", "home/.local/share/RivanetAppend",
        "RIVANETAPPEND_HOME", "XDG_DATA_HOME"}},
      {"read-only home",
       [&](const Install& i, AppFolderChoice&) {
         fs::create_directories(home(i));
         fs::permissions(home(i), fs::perms::owner_read | fs::perms::owner_exec);
       },
       {"Cannot make the application folder", "Permission denied", "RIVANETAPPEND_HOME"}},
      {"no home at all",
       [](const Install&, AppFolderChoice& choice) { choice.folder.clear(); },
       {"neither XDG_DATA_HOME nor HOME is set", "RIVANETAPPEND_HOME"}},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The superuser writes into read-only folders; "home cannot hold folders" takes the same
    // path for it.
    if (c.name == std::string("read-only home") && ::geteuid() == 0) continue;
    TempDir dir;
    const Install install(dir.Path());
    StartupEnvironment env;
    env.appFolder.source = AppFolderSource::PerUser;
    env.appFolder.folder = install.Folder();
    env.appFolder.seedFolder = install.seed;
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
    if (fs::is_directory(home(install)))
      fs::permissions(home(install), fs::perms::owner_all, fs::perm_options::add);
  }
}

TEST(SeedFolderTest, TwoRunsSeedingAtOnceLeaveOneWholeCopy) {
  // Run A stages its copy; before A puts it in place, run B seeds the folder completely.
  // Each marks the copy it staged, so the result shows whose files ended up there.
  for (const bool partly : {false, true}) {
    SCOPED_TRACE(partly ? "only the skeleton missing" : "fresh folder");
    TempDir dir;
    const Install install(dir.Path());
    if (partly) {
      for (const char* item : {"RivanetAppend.ini", "VatWorkSkel.mdb"})
        WriteFile(install.Folder() / item, ReadFile(install.seed / item));
    }
    const fs::path contested = partly ? install.Folder() / "Skel" : install.Folder();
    bool interrupted = false;
    SeedApplicationFolder(install.seed, install.Folder(), [&](const fs::path& stagedByA) {
      if (std::exchange(interrupted, true)) return;
      WriteFile(stagedByA / "from-A", "");
      // Nothing of A's copy is visible before it is whole.
      EXPECT_FALSE(fs::exists(contested));
      SeedApplicationFolder(install.seed, install.Folder(),
                            [](const fs::path& stagedByB) { WriteFile(stagedByB / "from-B", ""); });
    });
    Tree expected = Snapshot(install.seed);
    expected[(partly ? "Skel/" : "") + std::string("from-B")] = "";
    EXPECT_EQ(Changes(expected, Snapshot(install.Folder())), test::kNoChanges);
    EXPECT_EQ(Snapshot(install.data, {"RivanetAppend/"}), (Tree{{"RivanetAppend", "<dir>"}}));
  }
}

}  // namespace
}  // namespace rivanet
