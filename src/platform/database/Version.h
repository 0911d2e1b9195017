#pragma once

#include "platform/LibraryVersion.h"

namespace rivanet::db {

// The SQLite library the table phases run their SQL on.
LibraryVersion SqliteVersion();

}  // namespace rivanet::db
