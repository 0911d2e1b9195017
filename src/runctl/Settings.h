#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace rivanet {

class FileSystem;

// The value of `key` in `section` of the settings file `file`, or "" when the file, the
// section or the key is missing or the file cannot be read. Section and key names match
// without regard to case, quotation marks around the value are removed, and the value is cut
// to 254 characters.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::filesystem::path& file, const FileSystem& files);

// The same lookup without the length limit; nullopt when the section or key is missing.
// Throws AppError when the file cannot be read.
std::optional<std::string> FindIniValue(const std::string& section, const std::string& key,
                                        const std::filesystem::path& file, const FileSystem& files);

// [Working] GridCompressionLevel of the settings file `file`: the DEFLATE level (1 to 9) of the
// grids a run writes, nullopt when the key is absent or empty (the grids' default level).
// Throws AppError (kErrInvalidArgument, naming the key, the value and the file) for any other
// value. The driver checks it before the output is touched; the grid phase uses it.
std::optional<int> ReadGridCompressionLevel(const std::filesystem::path& file,
                                            const FileSystem& files);

}  // namespace rivanet
