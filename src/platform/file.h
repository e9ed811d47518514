// Files and directories as CrossPoint's DOS-named world needs them.
//
// Names on POSIX: every "\" in a name is read as "/" before the file is opened, and a
// name that does not exist exactly is looked up case-insensitively in its
// directory (each directory component too), so XPOINT.CFG finds xpoint.cfg.
// New files are created under the name as given (with "\" read as "/").
// On Windows the system itself takes "\" and "/" and ignores letter case,
// so names are used as given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorix::platform {

enum class Access {
  kRead,             // read only
  kReadWrite,        // read and write
  kReadWriteOrRead,  // read and write; read only when the system refuses writing
  kAppend,           // read and write, every write at the end
};

enum class Sharing {
  kShared,     // other openers may read (and, as far as POSIX goes, write)
  kExclusive,  // a second exclusive open fails (POSIX: flock(LOCK_EX|LOCK_NB); Windows: no
               // second writer either); plain readers may still read
};

enum class Missing {
  kFail,       // a missing file is an error
  kCreate,     // a missing file is created empty
  kCreateNew,  // the file is created under exactly this last name; an existing
               // one of that name is an error (EEXIST) and is never opened
};

// An open file. Move-only; the destructor closes it.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens `name`. On failure the result is not open and *error (if given)
  // holds the system's error number (never 0).
  static File Open(std::string_view name, Access access, Sharing sharing, Missing missing,
                   int* error = nullptr);

  bool IsOpen() const { return fd_ >= 0; }
  // Reads up to `size` bytes at the current position; 0 at the end, -1 on error.
  int64_t Read(char* buffer, int64_t size);
  // Reads from the current position to the end into *out. False on a read error.
  bool ReadToEnd(std::string* out);
  // Writes all bytes with one write call where the system allows; false on error.
  bool Write(std::string_view data);
  bool Seek(int64_t position);  // from the start of the file
  int64_t Position() const;     // -1 when not open
  int64_t Size() const;         // -1 when not open
  bool SetEnd();                // cuts the file at the current position
  bool Sync();
  void Close();

 private:
  explicit File(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// The name as it is opened: "\" read as "/", then the case-insensitive lookup
// of each component that does not exist under its exact name.
std::string ResolveName(std::string_view name);

// The name with only its directory part looked up ("\" read as "/"); the
// last component stays exactly as given.
std::string ResolveDirectoryOf(std::string_view name);

bool FileExists(std::string_view name);  // a regular file (after ResolveName)
// A regular file under exactly the last name given; only the directory part
// is looked up. For names this program made itself (its temporary spool
// files): asking for one that is gone then costs no letter-case search
// through a spool directory of thousands of files.
bool OwnFileExists(std::string_view name);
bool DirectoryExists(std::string_view name);
bool DeleteFile(std::string_view name);
// Renames `from` over `to` atomically (the replaced file vanishes in one step).
bool RenameOver(std::string_view from, std::string_view to);
// Renames `from` to `to` only when no file of that exact name exists: a file
// that exists under `to` is never replaced, and *error (if given) then says so
// (IsFileExistsError). Only the directory part of `to` is looked up.
bool RenameNew(std::string_view from, std::string_view to, int* error = nullptr);

// Names (without directory) of the regular files in `directory` that match the
// DOS wildcard `pattern` ("?" one character, "*" any run, letter case ignored),
// in the order the system lists them. Empty when the directory cannot be read.
std::vector<std::string> ListDirectory(std::string_view directory, std::string_view pattern);

// True when `name` matches the DOS wildcard `pattern`, letter case ignored.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// Reads a whole file (at most `limit` bytes). False when it cannot be opened or read.
bool ReadWholeFile(std::string_view name, std::string* out, int64_t limit = INT64_MAX);

// Writes `data` to a temporary file beside `name`, flushes it and renames it
// over `name`, so that a crash leaves either the old or the new file whole.
bool ReplaceFileContents(std::string_view name, std::string_view data);

// Makes the names created, renamed or deleted in `directory` ("" is the
// current one) durable, as File::Sync does for a file's data. POSIX: fsync of
// the directory. Windows: FlushFileBuffers on it; where the file system
// refuses to flush a directory, true (NTFS logs its name changes itself).
bool SyncDirectory(std::string_view directory);

// Deletes the temporary files that ReplaceFileContents of `name` left behind
// when its process died before the rename ("<name>.tmp<process>-<number>").
// The caller must hold a lock that every rewrite of `name` holds, so that no
// rewrite is under way.
void DeleteReplaceLeftovers(std::string_view name);

// The last system error number, for messages.
int LastError();

// True when `error` (from File::Open) says that the file already exists.
bool IsFileExistsError(int error);

}  // namespace quorix::platform
