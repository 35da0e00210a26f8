// File and path utilities. Paths are UTF-8; both '/' and '\\' are accepted as separators and
// the file system always receives '/'. None of these hold locks or throw.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace ZephUtil {

// Every '/' and '\\' replaced by `separator`.
std::string NormaliseSeparators(std::string_view path, char separator);
// The form handed to the file system: separators as '/'.
std::string FsPath(std::string_view path);

// The name alone for an empty folder; folder + name when the folder ends in a separator;
// otherwise folder + "/" + name.
std::string JoinPath(std::string_view folder, std::string_view name);
std::string FileNamePart(std::string_view path);
// Without the last '.' of the last component and what follows; the whole path when none.
std::string PathStem(std::string_view path);
std::string PathExtension(std::string_view path);
// Both normalised to '\\': the path after the longest common prefix, less one leading '\\'.
// The result keeps the backslashes (it is the form the formats store).
std::string RelativePath(std::string_view path, std::string_view base);

// A name taken from a format or the network (list file entry, archive record, segment key):
// converts its backslashes to '/' and stores it in `out`. False, leaving `out` alone, when the
// name is empty, absolute, has a drive letter or a ".." element, so it would leave its root;
// also for any ':' (drives, stream names) or NUL. "." elements (a leading ".\\") and empty
// elements are dropped; a name that is nothing but those is empty.
bool ToSafeRelativePath(std::string_view name, std::string* out);

bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);
// Read-only means no write bit for anyone; clearing it gives the owner the write bit.
// True when done or already so.
bool SetReadOnly(const std::string& path);
bool ClearReadOnly(const std::string& path);
// 0 and the size / the modification time (seconds since 1970 UTC); 2 and 0 on failure.
int GetFileSizeOf(const std::string& path, uint64_t* size);
int GetFileModifiedTime(const std::string& path, uint64_t* seconds);
// False for an empty path, else whether the file was deleted.
bool DeleteFileAt(const std::string& path);
// False when the source is missing, cannot be opened for writing, or another process holds a
// flock on it (a non-blocking exclusive flock fails); else whether the rename succeeded. Like
// the move it stands for, it never replaces an existing target.
bool MoveFileIfFree(const std::string& from, const std::string& to);
// Deletes the folder and everything below it; the result is whether the folder itself went.
// Symbolic links are removed, never followed.
bool DeleteTree(const std::string& folder);
// Creates the folder and its missing parents. False with errno EEXIST when the path names a
// file; the failure of a creation is logged.
bool MakeDirectory(const std::string& folder);
// JoinPath(folder, "file%u") with a process-wide counter started at the millisecond clock.
// Safe for concurrent use: no two calls get the same counter value.
std::string MakeTempName(const std::string& folder);
// 0 with the full paths of all entries (not "." and "..") added to `entries`, or 4 when the
// folder cannot be listed.
int ListFolder(const std::string& folder, std::set<std::string>* entries);

}  // namespace ZephUtil
