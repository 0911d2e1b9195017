#pragma once

#include <filesystem>
#include <functional>

namespace rivanet {

// Throws AppError naming the first thing missing when `seed`, the installed files a per-user
// application folder is made from, lacks the settings file, the scratch database, the
// skeleton folder the settings file names or any folder, feature class or table of that
// skeleton. A broken install is found here, before anything is written.
void CheckSeedFolder(const std::filesystem::path& seed);

// Called with the staged copy of an entry just before it is put in place.
using SeedStagedHook = std::function<void(const std::filesystem::path& staged)>;

// Gives the application folder `folder` whatever it lacks of `seed`, after CheckSeedFolder:
// every file and folder of the seed that has no counterpart of the same name (letter case
// aside) is copied; whatever is there already, the user's changed settings say, is never
// touched. Each missing entry (the whole folder on first use) is copied to a temporary
// sibling and renamed into place without replacing anything, so a run never sees a half
// copy, and of two runs seeding at once one copy wins and the other is dropped. Throws
// AppError naming the folder and the variables that move it when it cannot be made.
// `staged` is for tests that need a second seeder to run at the worst moment.
void SeedApplicationFolder(const std::filesystem::path& seed, const std::filesystem::path& folder,
                           const SeedStagedHook& staged = {});

}  // namespace rivanet
