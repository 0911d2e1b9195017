#include "platform/database/Version.h"

#include <sqlite3.h>

namespace rivanet::db {

LibraryVersion SqliteVersion() {
  return {LibraryFileOf(reinterpret_cast<const void*>(&sqlite3_libversion)), sqlite3_libversion()};
}

}  // namespace rivanet::db
