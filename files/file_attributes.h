// Attributes, existence checks and deletion of single paths.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace baleport {

inline constexpr uint32_t kAttributeReadOnly = 0x01;
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeDirectory = 0x10;
inline constexpr uint32_t kAttributeNormal = 0x80;
inline constexpr uint32_t kAttributeReparsePoint = 0x400;

// The attribute word, or kInvalidFileAttributes (-1) with the reason in LastFileError.
uint32_t GetAttributes(const std::string& path);
// 0, or the error code also left in LastFileError.
int32_t SetAttributes(const std::string& path, uint32_t attributes);
// An existing file, not a folder. Leaves LastFileError at 0.
bool FileExists(const std::string& path);
// An existing folder, with or without a trailing separator. Leaves LastFileError at 0.
bool FolderExists(const std::string& path);
// Deletes a file, read-only or not: 0, or the error code also left in LastFileError.
int32_t RemoveFile(const std::string& path);
// The path without leading and trailing spaces, ending in the path separator.
std::string WithTrailingBackslash(std::string_view path);

}  // namespace baleport
