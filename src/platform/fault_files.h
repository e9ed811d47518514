// Test-only: a file hook (platform/file_hook.h) that watches the files under
// one directory, fails operations on demand and simulates a power cut.
//
// It keeps, for every file, what has reached the disk: the data as of the
// file's last flush (File::Sync), and for every directory the names as of its
// last flush (SyncDirectory; ReplaceFileContents flushes its own). Everything
// else is "in the cache": file data written since, and names created, renamed
// or deleted since. PowerCut rewrites the directory as the machine would find
// it after the power failed: the flushed state, plus (when asked) a random
// part of what was in the cache, as a disk writes some of its cache before it
// stops: for each file a leading part of its later writes (the last one maybe
// torn), for each directory a leading part of its later name changes. A
// rename that the system writes through (Windows) is on the disk at once,
// with the earlier name changes of its directory. Each
// file and each directory is cut on its own, so that a journal's append may
// survive while another file's data does not.
//
// Files outside the directory are not watched. Every operation the layer
// performs on them (logs kept elsewhere, lock files) goes on untouched.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "platform/file_hook.h"

namespace quorix::platform::testing {

class FaultFiles : public FileHook {
 public:
  // Watches the files under `root` (they count as on the disk) and installs
  // itself; the destructor removes it.
  explicit FaultFiles(const std::string& root);
  ~FaultFiles() override;
  FaultFiles(const FaultFiles&) = delete;
  FaultFiles& operator=(const FaultFiles&) = delete;

  // The next `times` operations `op` on a name matching the DOS wildcard
  // `pattern` (for a rename: either name; a directory: its last component)
  // fail with an input/output error and change nothing.
  void FailNext(FileOp op, const std::string& pattern, int times = 1);
  // The files under `directory` lie on a disk of their own that has `bytes`
  // free from now on: a write that needs more stops there and fails with
  // "disk full"; cutting or deleting a file frees space. -1: no limit.
  void SetFreeSpace(const std::string& directory, int64_t bytes);

  // The power fails once `operations` more operations that change something
  // (create, write, cut, flush, rename, delete) have been done: every later
  // operation fails and changes nothing, until PowerCut.
  void CutPowerAfter(int64_t operations);
  // Operations that changed something so far.
  int64_t operations() const;
  // Every operation done, in order, as "create a/b", "write a/b 0+12",
  // "setend a/b 7", "sync a/b", "syncdir a", "rename a/b a/c", "delete a/b"
  // (names relative to the root; a file by its name when the operation was
  // done).
  std::vector<std::string> Trace() const;

  enum class Survival {
    kFlushedOnly,    // nothing of the cache reaches the disk
    kSomeOfTheCache  // a random part of it does (seeded)
  };
  // Rewrites the directory as the power cut leaves it, then starts again
  // from there with the power on: the files as they now are count as on the
  // disk, the trace and the operation count start anew.
  void PowerCut(Survival survival, uint32_t seed = 0);

  // FileHook
  int Before(const FileEvent& event, int64_t* allowed) override;
  void After(const FileEvent& event) override;

 private:
  struct DataChange {
    bool cut = false;  // SetEnd to `offset`, else a write of `bytes` at `offset`
    int64_t offset = 0;
    std::string bytes;
  };
  struct Node {
    std::string name;     // its current name (the last one given)
    std::string current;  // what the file holds now
    std::string flushed;  // what reached the disk
    std::vector<DataChange> cached;
  };
  struct NameChange {
    std::string from;  // "" for a create
    std::string to;    // "" for a delete
    int node = -1;
  };
  struct Fault {
    FileOp op;
    std::string pattern;
    int times;
  };

  void Scan();
  int Adopt(const std::string& key);
  std::string KeyOf(const std::string& path) const;
  std::string Relative(const std::string& key) const;
  bool Watched(const std::string& key) const { return key.rfind(root_, 0) == 0; }
  static std::string DirectoryOf(const std::string& key);
  static std::string LastOf(const std::string& key);
  bool FaultMatches(FileOp op, const std::string& key, const std::string& to);
  void Count(std::string trace);
  void ChangeName(const std::string& from, const std::string& to, int node);
  static void Apply(std::string* contents, const DataChange& change);
  static void ApplyName(std::map<std::string, int>* names, const NameChange& change);

  mutable std::mutex lock_;
  std::string root_;  // generic form, ends with "/"
  std::vector<Node> nodes_;
  std::map<std::string, int> names_;                             // now
  std::map<std::string, int> flushed_names_;                     // on the disk
  std::map<std::string, std::vector<NameChange>> cached_names_;  // by directory
  std::map<int, int> open_;                                      // descriptor -> node
  std::vector<Fault> faults_;
  std::vector<std::string> trace_;
  bool OnSmallDisk(const Node& node) const {
    return free_space_ >= 0 && node.name.rfind(small_disk_, 0) == 0;
  }

  std::string small_disk_;  // generic form, ends with "/"
  int64_t free_space_ = -1;
  int64_t operations_ = 0;
  int64_t cut_after_ = -1;
  bool power_off_ = false;
};

}  // namespace quorix::platform::testing
