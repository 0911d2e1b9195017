#include "driver/FolderRelations.h"

#include <map>
#include <set>
#include <string>

#include "driver/ListCheck.h"
#include "driver/OutputPreparation.h"
#include "platform/files/FileSystem.h"
#include "runctl/RunContext.h"
#include "runctl/RunMessages.h"
#include "workspace/Schema.h"

namespace fs = std::filesystem;

namespace rivanet {
namespace {

struct NamedFolder {
  const char* role;  // as the message names it: "output folder", "workspace", ...
  fs::path path;
};

// The relations a rule refuses, as a set of bits.
enum Refused : unsigned {
  kIs = 1U << static_cast<unsigned>(FolderRelation::Same),
  kLiesInside = 1U << static_cast<unsigned>(FolderRelation::Inside),
  kContains = 1U << static_cast<unsigned>(FolderRelation::Contains),
  kAnyRelation = kIs | kLiesInside | kContains,
};

const char* Verb(FolderRelation relation) {
  switch (relation) {
    case FolderRelation::Same:
      return "is";
    case FolderRelation::Inside:
      return "lies inside";
    case FolderRelation::Contains:
      return "contains";
    case FolderRelation::Apart:
      break;
  }
  return "is apart from";
}

// Reports and returns true when `subject` stands to `object` in one of the `refused` relations.
bool Refuse(RunContext& ctx, const NamedFolder& subject, const NamedFolder& object,
            unsigned refused) {
  const FolderRelation relation = ctx.files.Relate(subject.path, object.path);
  if ((refused & (1U << static_cast<unsigned>(relation))) == 0) return false;
  Tell(ctx, MessageKind::Logged,
       std::string("Error: The ") + subject.role + " " + DisplayPath(subject.path) + " " +
           Verb(relation) + " the " + object.role + " " + DisplayPath(object.path) + ".");
  return true;
}

NamedFolder Work(const RunContext& ctx) { return {"Work folder", WorkFolder(ctx)}; }
NamedFolder Temp(const RunContext& ctx) { return {"Temp folder", TempFolder(ctx)}; }

// Refuses when `subject` is or lies inside Work or Temp, which the run deletes at its end.
bool RefuseInScratch(RunContext& ctx, const NamedFolder& subject) {
  return Refuse(ctx, subject, Work(ctx), kIs | kLiesInside) ||
         Refuse(ctx, subject, Temp(ctx), kIs | kLiesInside);
}

}  // namespace

FolderCheck CheckFolderPlaces(RunContext& ctx, const fs::path& inputFolder,
                              const fs::path& outputFolder, const fs::path& skeletonFolder) {
  const NamedFolder app{"application folder", ctx.appFolder};
  const NamedFolder skeleton{"skeleton folder", skeletonFolder};
  const NamedFolder input{"input folder", inputFolder};
  const NamedFolder output{"output folder", outputFolder};

  if (Refuse(ctx, skeleton, app, kIs | kContains)) return FolderCheck::Refused;
  if (RefuseInScratch(ctx, skeleton)) return FolderCheck::RefusedInScratch;
  if (RefuseInScratch(ctx, input)) return FolderCheck::RefusedInScratch;
  if (Refuse(ctx, output, input, kIs | kContains) || Refuse(ctx, output, app, kIs | kContains) ||
      Refuse(ctx, output, skeleton, kAnyRelation))
    return FolderCheck::Refused;
  if (Refuse(ctx, output, Work(ctx), kAnyRelation) || Refuse(ctx, output, Temp(ctx), kAnyRelation))
    return FolderCheck::RefusedInScratch;
  return FolderCheck::Passed;
}

FolderCheck CheckWorkspacePlaces(RunContext& ctx, const fs::path& outputFolder,
                                 const fs::path& listFile,
                                 const std::vector<fs::path>& workspaces) {
  const NamedFolder output{"output folder", outputFolder};
  // The phases read the list again after the preparation has replaced the output's workspace
  // folders and Work: it must be in none of them.
  const NamedFolder list{"list file", listFile};
  if (RefuseInScratch(ctx, list)) return FolderCheck::RefusedInScratch;
  for (const std::string& folder : schema::WorkspaceFolders(ctx.layout)) {
    if (Refuse(ctx, list, {"output's workspace folder", outputFolder / folder}, kLiesInside))
      return FolderCheck::Refused;
  }
  // Nor may a workspace's text file, copied into the output folder at the end, replace it.
  const bool listInOutput =
      ctx.files.Relate(listFile.parent_path(), outputFolder) == FolderRelation::Same &&
      WildcardMatch("*.txt", listFile.filename().string());

  std::set<fs::path> examined;  // a workspace listed twice is examined once
  for (const fs::path& path : workspaces) {
    if (!examined.insert(path).second) continue;
    const NamedFolder workspace{"workspace", path};
    if (RefuseInScratch(ctx, workspace)) return FolderCheck::RefusedInScratch;
    if (Refuse(ctx, output, workspace, kAnyRelation)) return FolderCheck::Refused;
    // Each item the run reads: a link on its way from the workspace may lead into the
    // folders the run replaces or deletes. Without one it lies in the workspace, which has
    // just been found apart from them.
    std::map<fs::path, bool> linked;  // by path below the workspace
    auto throughLink = [&](const fs::path& item) {
      fs::path partial = path;
      bool any = false;
      for (const fs::path& part : item.lexically_relative(path)) {
        partial /= part;
        auto [it, added] = linked.try_emplace(partial, false);
        if (added) it->second = ctx.files.IsLink(partial);
        any = any || it->second;
      }
      return any;
    };
    for (const WorkspaceItem& item : ReadItems(ctx.layout, path)) {
      if (!throughLink(item.path)) continue;
      const NamedFolder read{item.role, item.path};
      if (RefuseInScratch(ctx, read)) return FolderCheck::RefusedInScratch;
      if (Refuse(ctx, read, output, kIs | kLiesInside)) return FolderCheck::Refused;
    }
    if (listInOutput && ctx.files.FileExists(path / listFile.filename())) {
      Tell(ctx, MessageKind::Logged,
           "Error: The list file " + DisplayPath(listFile) + " would be replaced by " +
               DisplayPath(ctx.files.Resolve(path / listFile.filename())) +
               ", a text file the run copies into the output folder.");
      return FolderCheck::Refused;
    }
  }
  return FolderCheck::Passed;
}

}  // namespace rivanet
