// A test seam of the file layer. While a hook is installed, every operation of
// file.h that changes a file or a directory asks the hook first and tells it
// afterwards what it did, so that a test can fail an operation on demand (a
// write cut at its Nth byte, a rename or a flush refused) and model what a
// power cut would keep (platform/fault_files.h). Reads are not reported.
//
// Production never installs a hook: each operation then costs one load of a
// pointer that is null. While a hook is installed, File::Sync, SyncDirectory
// and the flush inside ReplaceFileContents leave the flush to the hook (the
// system's flush is not called): the hook says what reached the disk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace quorix::platform {

enum class FileOp {
  kCreate,         // an open that creates `path` (fd set afterwards)
  kOpen,           // an open of an existing file (reported afterwards only)
  kWrite,          // `data` at `offset` of the open file `fd`
  kSetEnd,         // the open file `fd` cut (or grown) to `offset` bytes
  kSync,           // the open file's data flushed
  kClose,          // the open file closed (reported afterwards only)
  kDelete,         // `path` deleted
  kRename,         // `path` renamed to `to` (replacing it, or only when it is free)
  kSyncDirectory,  // the names in directory `path` flushed
};

struct FileEvent {
  FileEvent(FileOp op_in, std::string path_in = {}, std::string to_in = {}, int fd_in = -1,
            int64_t offset_in = 0, std::string_view data_in = {}, bool write_through_in = false)
      : op(op_in),
        path(std::move(path_in)),
        to(std::move(to_in)),
        fd(fd_in),
        offset(offset_in),
        data(data_in),
        write_through(write_through_in) {}

  FileOp op;
  std::string path;       // as the system was given it; "" for operations on an open file
  std::string to;         // kRename
  int fd;                 // the open file (kCreate and kOpen: only afterwards)
  int64_t offset;         // kWrite: where the bytes go; kSetEnd: the new size
  std::string_view data;  // kWrite
  // kRename: the system wrote the change through (Windows' MOVEFILE_WRITE_THROUGH):
  // on the disk, with the directory's earlier name changes, when it returns.
  bool write_through;
};

class FileHook {
 public:
  virtual ~FileHook() = default;
  // Before the operation: 0 lets it go on; an error number fails it, and it
  // changes nothing. For kWrite, *allowed (the whole size when called) may be
  // lowered: that many bytes are written, then the write fails with the
  // error returned (which must then not be 0).
  virtual int Before(const FileEvent& event, int64_t* allowed) = 0;
  // After the operation succeeded (a cut write: with the bytes it wrote).
  virtual void After(const FileEvent& event) = 0;
};

// Error numbers for a hook to fail an operation with: the disk is full, and
// an input/output error (ENOSPC and EIO on POSIX).
int DiskFullError();
int InputOutputError();

// Installs `hook` for the whole process (nullptr removes it). For tests only,
// while no other thread uses the file layer.
void InstallFileHook(FileHook* hook);
FileHook* InstalledFileHook();

}  // namespace quorix::platform
