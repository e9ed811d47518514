// The fault-injecting file hook: what reached the disk, what is in the cache,
// and the rewrite of the directory after a simulated power cut.
#include "platform/fault_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>

#include "platform/file.h"

namespace quorix::platform::testing {
namespace {

bool OnOpenFile(FileOp op) {
  return op == FileOp::kWrite || op == FileOp::kSetEnd || op == FileOp::kSync;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

FaultFiles::FaultFiles(const std::string& root) : root_(KeyOf(root) + "/") {
  Scan();
  InstallFileHook(this);
}

FaultFiles::~FaultFiles() {
  if (InstalledFileHook() == this) InstallFileHook(nullptr);
}

std::string FaultFiles::KeyOf(const std::string& path) const {
  std::error_code ignored;
  std::filesystem::path full(path);
  if (full.is_relative()) full = std::filesystem::absolute(full, ignored);
  std::string key = full.lexically_normal().generic_string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

std::string FaultFiles::Relative(const std::string& key) const {
  if (key + "/" == root_) return ".";
  return Watched(key) ? key.substr(root_.size()) : key;
}

std::string FaultFiles::DirectoryOf(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string FaultFiles::LastOf(const std::string& key) {
  const size_t slash = key.rfind('/');
  return slash == std::string::npos ? key : key.substr(slash + 1);
}

void FaultFiles::Scan() {
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(std::filesystem::path(root_), error), end;
  for (; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) Adopt(KeyOf(it->path().string()));
  }
}

int FaultFiles::Adopt(const std::string& key) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::path(key), error)) return -1;
  Node node;
  node.name = key;
  node.current = ReadAll(key);
  node.flushed = node.current;
  nodes_.push_back(std::move(node));
  const int index = static_cast<int>(nodes_.size()) - 1;
  names_[key] = index;
  flushed_names_[key] = index;
  return index;
}

void FaultFiles::FailNext(FileOp op, const std::string& pattern, int times) {
  std::lock_guard<std::mutex> lock(lock_);
  faults_.push_back({op, pattern, times});
}

void FaultFiles::SetFreeSpace(const std::string& directory, int64_t bytes) {
  std::lock_guard<std::mutex> lock(lock_);
  small_disk_ = KeyOf(directory) + "/";
  free_space_ = bytes;
}

void FaultFiles::CutPowerAfter(int64_t operations) {
  std::lock_guard<std::mutex> lock(lock_);
  cut_after_ = operations_ + operations;
  power_off_ = operations <= 0;
}

int64_t FaultFiles::operations() const {
  std::lock_guard<std::mutex> lock(lock_);
  return operations_;
}

std::vector<std::string> FaultFiles::Trace() const {
  std::lock_guard<std::mutex> lock(lock_);
  return trace_;
}

bool FaultFiles::FaultMatches(FileOp op, const std::string& key, const std::string& to) {
  for (auto fault = faults_.begin(); fault != faults_.end(); ++fault) {
    if (fault->op != op) continue;
    if (!MatchWildcard(fault->pattern, LastOf(key)) &&
        (to.empty() || !MatchWildcard(fault->pattern, LastOf(to)))) {
      continue;
    }
    if (--fault->times <= 0) faults_.erase(fault);
    return true;
  }
  return false;
}

int FaultFiles::Before(const FileEvent& event, int64_t* allowed) {
  std::lock_guard<std::mutex> lock(lock_);
  if (event.op == FileOp::kOpen || event.op == FileOp::kClose) return 0;
  std::string key;
  std::string to;
  int node = -1;
  if (OnOpenFile(event.op)) {
    const auto open = open_.find(event.fd);
    if (open == open_.end()) return 0;
    node = open->second;
    key = nodes_[static_cast<size_t>(node)].name;
  } else {
    key = KeyOf(event.path);
    if (event.op == FileOp::kRename) to = KeyOf(event.to);
    const bool watched = event.op == FileOp::kSyncDirectory ? Watched(key + "/") : Watched(key);
    if (!watched && (to.empty() || !Watched(to))) return 0;
    if ((event.op == FileOp::kDelete || event.op == FileOp::kRename) && !names_.contains(key)) {
      Adopt(key);  // written behind the layer's back: it counts as on the disk
    }
  }
  if (power_off_ || FaultMatches(event.op, key, to)) {
    if (allowed != nullptr) *allowed = 0;
    return InputOutputError();
  }
  if (event.op == FileOp::kWrite && OnSmallDisk(nodes_[static_cast<size_t>(node)])) {
    const int64_t size = static_cast<int64_t>(nodes_[static_cast<size_t>(node)].current.size());
    const int64_t end = event.offset + static_cast<int64_t>(event.data.size());
    const int64_t growth = std::max<int64_t>(0, end - size);
    if (growth > free_space_) {
      *allowed =
          std::max<int64_t>(0, static_cast<int64_t>(event.data.size()) - (growth - free_space_));
      return DiskFullError();
    }
  }
  return 0;
}

void FaultFiles::Count(std::string trace) {
  trace_.push_back(std::move(trace));
  ++operations_;
  if (cut_after_ >= 0 && operations_ >= cut_after_) power_off_ = true;
}

void FaultFiles::Apply(std::string* contents, const DataChange& change) {
  const size_t offset = static_cast<size_t>(change.offset);
  if (change.cut) {
    contents->resize(offset);
    return;
  }
  if (contents->size() < offset + change.bytes.size()) {
    contents->resize(offset + change.bytes.size());
  }
  contents->replace(offset, change.bytes.size(), change.bytes);
}

void FaultFiles::ApplyName(std::map<std::string, int>* names, const NameChange& change) {
  if (!change.from.empty()) names->erase(change.from);
  if (!change.to.empty()) (*names)[change.to] = change.node;
}

void FaultFiles::ChangeName(const std::string& from, const std::string& to, int node) {
  names_.erase(from);
  names_[to] = node;
  nodes_[static_cast<size_t>(node)].name = to;
  if (DirectoryOf(from) == DirectoryOf(to)) {
    cached_names_[DirectoryOf(from)].push_back({from, to, node});
  } else {
    cached_names_[DirectoryOf(from)].push_back({from, "", node});
    cached_names_[DirectoryOf(to)].push_back({"", to, node});
  }
}

void FaultFiles::After(const FileEvent& event) {
  std::lock_guard<std::mutex> lock(lock_);
  if (OnOpenFile(event.op)) {
    const auto open = open_.find(event.fd);
    if (open == open_.end()) return;
    Node& node = nodes_[static_cast<size_t>(open->second)];
    const std::string name = Relative(node.name);
    if (event.op == FileOp::kSync) {
      node.flushed = node.current;
      node.cached.clear();
      Count("sync " + name);
      return;
    }
    DataChange change{event.op == FileOp::kSetEnd, event.offset, std::string(event.data)};
    const int64_t old_size = static_cast<int64_t>(node.current.size());
    Apply(&node.current, change);
    if (OnSmallDisk(node)) {
      free_space_ =
          std::max<int64_t>(0, free_space_ + old_size - static_cast<int64_t>(node.current.size()));
    }
    node.cached.push_back(std::move(change));
    Count(event.op == FileOp::kSetEnd ? "setend " + name + " " + std::to_string(event.offset)
                                      : "write " + name + " " + std::to_string(event.offset) + "+" +
                                            std::to_string(event.data.size()));
    return;
  }
  const std::string key = KeyOf(event.path);
  switch (event.op) {
    case FileOp::kCreate: {
      if (!Watched(key)) return;
      Node node;
      node.name = key;
      nodes_.push_back(std::move(node));
      const int index = static_cast<int>(nodes_.size()) - 1;
      names_[key] = index;
      cached_names_[DirectoryOf(key)].push_back({"", key, index});
      if (event.fd >= 0) open_[event.fd] = index;
      Count("create " + Relative(key));
      return;
    }
    case FileOp::kOpen: {
      if (!Watched(key)) return;
      const auto known = names_.find(key);
      const int index = known != names_.end() ? known->second : Adopt(key);
      if (index >= 0) open_[event.fd] = index;
      return;
    }
    case FileOp::kClose:
      open_.erase(event.fd);
      return;
    case FileOp::kDelete: {
      const auto known = names_.find(key);
      if (known == names_.end()) return;
      const int index = known->second;
      names_.erase(known);
      cached_names_[DirectoryOf(key)].push_back({key, "", index});
      if (OnSmallDisk(nodes_[static_cast<size_t>(index)])) {
        free_space_ += static_cast<int64_t>(nodes_[static_cast<size_t>(index)].current.size());
      }
      Count("delete " + Relative(key));
      return;
    }
    case FileOp::kRename: {
      const std::string to = KeyOf(event.to);
      const auto known = names_.find(key);
      if (known == names_.end()) return;
      ChangeName(key, to, known->second);
      if (event.write_through) {
        for (const std::string& directory : {DirectoryOf(key), DirectoryOf(to)}) {
          const auto cached = cached_names_.find(directory);
          if (cached == cached_names_.end()) continue;
          for (const NameChange& change : cached->second) ApplyName(&flushed_names_, change);
          cached_names_.erase(cached);
        }
      }
      Count("rename " + Relative(key) + " " + Relative(to));
      return;
    }
    case FileOp::kSyncDirectory: {
      if (!Watched(key + "/")) return;
      const auto cached = cached_names_.find(key);
      if (cached != cached_names_.end()) {
        for (const NameChange& change : cached->second) ApplyName(&flushed_names_, change);
        cached_names_.erase(cached);
      }
      Count("syncdir " + Relative(key));
      return;
    }
    default:
      return;
  }
}

void FaultFiles::PowerCut(Survival survival, uint32_t seed) {
  std::lock_guard<std::mutex> lock(lock_);
  std::mt19937 random(seed);
  const auto kept = [&](size_t cached) -> size_t {
    if (survival == Survival::kFlushedOnly || cached == 0) return 0;
    return std::uniform_int_distribution<size_t>(0, cached)(random);
  };
  std::map<std::string, int> names = flushed_names_;
  std::set<std::string> known;
  for (const auto& [key, node] : names_) known.insert(key);
  for (const auto& [key, node] : flushed_names_) known.insert(key);
  for (const auto& [directory, changes] : cached_names_) {
    const size_t count = kept(changes.size());
    for (size_t i = 0; i < changes.size(); ++i) {
      if (i < count) ApplyName(&names, changes[i]);
      known.insert(changes[i].from);
      known.insert(changes[i].to);
    }
  }
  std::vector<std::string> contents;
  for (const Node& node : nodes_) {
    std::string survived = node.flushed;
    const size_t count = kept(node.cached.size());
    for (size_t i = 0; i < count; ++i) Apply(&survived, node.cached[i]);
    if (survival == Survival::kSomeOfTheCache && count < node.cached.size() &&
        !node.cached[count].cut) {
      DataChange torn = node.cached[count];  // the disk stopped inside this write
      torn.bytes.resize(std::uniform_int_distribution<size_t>(0, torn.bytes.size())(random));
      if (!torn.bytes.empty()) Apply(&survived, torn);
    }
    contents.push_back(std::move(survived));
  }

  std::error_code error;
  std::vector<std::string> on_disk;
  std::filesystem::recursive_directory_iterator it(std::filesystem::path(root_), error), end;
  for (; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) on_disk.push_back(KeyOf(it->path().string()));
  }
  for (const std::string& key : on_disk) {
    if (!names.contains(key) && known.contains(key)) std::filesystem::remove(key, error);
  }
  for (const auto& [key, node] : names) {
    std::ofstream out(std::filesystem::path(key), std::ios::binary | std::ios::trunc);
    out << contents[static_cast<size_t>(node)];
  }

  nodes_.clear();
  names_.clear();
  flushed_names_.clear();
  cached_names_.clear();
  open_.clear();
  faults_.clear();
  trace_.clear();
  free_space_ = -1;
  operations_ = 0;
  cut_after_ = -1;
  power_off_ = false;
  Scan();
}

}  // namespace quorix::platform::testing
