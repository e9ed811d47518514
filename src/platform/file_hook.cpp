// The installed file hook (platform/file_hook.h): one pointer for the process,
// null unless a test installed a hook.
#include "platform/file_hook.h"

#include <atomic>

namespace quorix::platform {
namespace {

std::atomic<FileHook*> installed_hook{nullptr};

}  // namespace

void InstallFileHook(FileHook* hook) { installed_hook.store(hook, std::memory_order_release); }

FileHook* InstalledFileHook() { return installed_hook.load(std::memory_order_acquire); }

}  // namespace quorix::platform
