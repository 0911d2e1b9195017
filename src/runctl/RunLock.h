#pragma once

#include <filesystem>

#include "platform/files/FileLock.h"

namespace rivanet {

// Holds the application folder for one run: two runs would share Work, Temp and the log. The
// lock lives on RivanetAppend.lock in the folder and is released when the run (or the process,
// however it ends) lets go of it. Throws AppError naming the folder when another run holds it,
// or naming the lock file when it cannot be made.
FileLock LockApplicationFolder(const std::filesystem::path& appFolder);

}  // namespace rivanet
