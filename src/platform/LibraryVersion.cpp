#include "platform/LibraryVersion.h"

#include <dlfcn.h>

namespace rivanet {

std::string LibraryFileOf(const void* symbol) {
  Dl_info info{};
  if (dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

}  // namespace rivanet
