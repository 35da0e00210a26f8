// File and path utilities. Paths are UTF-8; both '/' and '\\' are accepted as separators and
// the file system always receives '/'. None of these hold locks or throw.
// Implemented in path_names.cpp, capped_read.cpp, entry_writes.cpp, folders.cpp and, for each
// system (_posix.cpp, _windows.cpp), file_access_*, file_queries_*, entry_writes_*,
// move_file_* and folders_*.
#pragma once

#include <cstdint>
#include <cstdio>
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

// Whether a text from a format or the network (a build number) may become part of a file
// name: it holds no '/', '\\' or NUL, so that it cannot name another folder.
bool IsSafeNamePart(std::string_view part);

// The system's open for a UTF-8 path, `flags` as open(2) takes them (O_RDONLY, O_WRONLY,
// O_CREAT, ...). The descriptor is not inherited by programs this process starts and, on
// Windows, is binary. -1 with errno on failure.
int OpenFile(const std::string& path, int flags, unsigned mode = 0666);
// fopen for a UTF-8 path; null with errno on failure.
FILE* OpenStream(const std::string& path, const char* mode);
// Forces the data written through `fd` to the disk. True when done.
bool SyncFile(int fd);
// Makes a rename in `folder` durable where the system asks for it (Linux: fsync of the
// folder; Windows writes the rename through by itself). True when done or not needed.
bool SyncFolder(const std::string& folder);
// Renames `from` to `to`, replacing an existing `to` in one step, written through to the disk
// where the system offers it. False with errno on failure.
bool RenameReplacing(const std::string& from, const std::string& to);
// The bytes this process may still write on the volume that holds `path`. False when the
// system cannot tell.
bool FreeDiskSpace(const std::string& path, uint64_t* bytes);

bool IsDirectory(const std::string& path);
bool FileExists(const std::string& path);

// Names from a patch, a list file or a server, below the folder they belong to (the
// installation, an unpack folder): folder links on the way are followed, since users move big
// folders to other disks by them, but a link at the name's own place is the entry itself. It
// is moved aside, replaced or deleted like a file and never written through, and no link is
// ever made: so nothing lands outside that folder or the targets of its folder links.
// OpenForWriting opens `path` as OpenFile does (with O_NOFOLLOW where the system has it):
// -1 with errno ELOOP when a link stands there.
int OpenForWriting(const std::string& path, int flags, unsigned mode = 0666);
// True when anything stands at `path` itself, a link (even one to nothing) included.
bool EntryExists(const std::string& path);
// True when a link (on Windows any reparse point: a symbolic link or a junction) stands at
// `path` itself.
bool IsLinkAt(const std::string& path);
// Repair writes whole files by name and may write through a link at a file's own place, but
// only when it leads to an existing file below `root` or below the folder the link sits in:
// true for a link that leads elsewhere or to nothing, false for anything that is no link.
bool LinkLeadsOutside(const std::string& path, const std::string& root);

// A whole file read with a ceiling (a device such as /dev/zero never ends).
enum class CappedRead { kOk, kCannotRead, kTooLarge };
// Reads the file into `text`; kTooLarge, and nothing read, when it holds more than `maxBytes`.
CappedRead ReadFileCapped(const std::string& path, size_t maxBytes, std::string* text);
// Read-only means no write bit for anyone; clearing it gives the owner the write bit.
// True when done or already so.
bool SetReadOnly(const std::string& path);
bool ClearReadOnly(const std::string& path);
// 0 and the size / the modification time (seconds since 1970 UTC); 2 and 0 on failure.
[[nodiscard]] int GetFileSizeOf(const std::string& path, uint64_t* size);
[[nodiscard]] int GetFileModifiedTime(const std::string& path, uint64_t* seconds);
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
