#include "app/ApplicationFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "app/SeedFolder.h"
#include "platform/Error.h"
#include "platform/files/FileSystem.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

// Where an installed program finds its share folder, relative to its bin folder; the build
// computes it from the install layout.
#ifndef RIVANET_SEED_FROM_BIN
#define RIVANET_SEED_FROM_BIN "../share/rivanetappend"
#endif

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

// Kept without a trailing separator: file names are joined onto it.
fs::path WithoutTrailingSeparator(fs::path folder) {
  while (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
  return folder;
}

std::optional<std::string> PasswordHome() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0')
    return std::nullopt;
  return std::string(found->pw_dir);
}

fs::path PerUserFolder(const AppFolderInputs& in) {
  // The XDG rules ask for a relative XDG_DATA_HOME to be ignored.
  if (in.xdgDataHome && fs::path(*in.xdgDataHome).is_absolute())
    return WithoutTrailingSeparator(*in.xdgDataHome) / kAppTitle;
  if (in.userHome && !in.userHome->empty())
    return WithoutTrailingSeparator(*in.userHome) / ".local" / "share" / kAppTitle;
  return {};
}

}  // namespace

AppFolderInputs ReadAppFolderInputs(const char* argv0) {
  AppFolderInputs in;
  in.homeVariable = Variable("RIVANETAPPEND_HOME");
  in.xdgDataHome = Variable("XDG_DATA_HOME");
  in.userHome = Variable("HOME");
  if (!in.userHome) in.userHome = PasswordHome();
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) exe = fs::absolute(argv0 != nullptr ? argv0 : ".", ec);
  in.programFolder = exe.parent_path();
  return in;
}

AppFolderChoice ChooseApplicationFolder(const AppFolderInputs& in) {
  AppFolderChoice choice;
  choice.programFolder = in.programFolder;
  if (in.homeVariable) {
    choice.source = AppFolderSource::HomeVariable;
    choice.folder = WithoutTrailingSeparator(*in.homeVariable);
    return choice;
  }
  const auto files = MakeFileSystem();
  if (files->FileExists(in.programFolder / (std::string(kAppTitle) + ".ini"))) {
    choice.source = AppFolderSource::ProgramFolder;
    choice.folder = in.programFolder;
    return choice;
  }
  choice.source = AppFolderSource::PerUser;
  choice.folder = PerUserFolder(in);
  choice.seedFolder = (in.programFolder / RIVANET_SEED_FROM_BIN).lexically_normal();
  choice.seedFolder = WithoutTrailingSeparator(choice.seedFolder);
  return choice;
}

std::string DescribeApplicationFolder(const AppFolderChoice& choice) {
  const std::string ini = std::string(kAppTitle) + ".ini";
  std::string text = "Application folder (log, settings, skeleton): ";
  text += choice.folder.empty() ? "none" : DisplayPath(choice.folder);
  text += "\n  because ";
  switch (choice.source) {
    case AppFolderSource::HomeVariable:
      text += "RIVANETAPPEND_HOME names it\n";
      break;
    case AppFolderSource::ProgramFolder:
      text += "RIVANETAPPEND_HOME is not set and the program's own folder holds " + ini + "\n";
      break;
    case AppFolderSource::PerUser:
      text += "RIVANETAPPEND_HOME is not set and the program's folder " +
              DisplayPath(choice.programFolder) + "\n  holds no " + ini + ", ";
      if (choice.folder.empty())
        text += "but neither XDG_DATA_HOME nor HOME names a home folder for the per-user one\n";
      else
        text += "so each user has a folder of their own, made on first use\n  from " +
                DisplayPath(choice.seedFolder) + " without overwriting any file already there\n";
      break;
  }
  return text;
}

void PrepareApplicationFolder(const AppFolderChoice& choice) {
  if (choice.source != AppFolderSource::PerUser) return;
  if (choice.folder.empty())
    throw AppError(kErrPathNotFound,
                   "No per-user application folder: neither XDG_DATA_HOME nor HOME is set. "
                   "Set RIVANETAPPEND_HOME to the folder to use");
  SeedApplicationFolder(choice.seedFolder, choice.folder);
}

}  // namespace rivanet
