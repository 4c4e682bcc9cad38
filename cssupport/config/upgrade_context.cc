#include "cssupport/config/upgrade_context.h"

#include <filesystem>
#include <utility>

namespace KoraConfigStore {
namespace {

constexpr char kPostLoadStore[] = "postLoadStore";

}  // namespace

// Constant-initialised: no code runs for it when the library loads.
std::atomic<std::int32_t> upgradeRunner{0};

std::int32_t GetUpgradeCtx() {
  return upgradeRunner.load(std::memory_order_seq_cst);
}

void SetUpgradeCtxFromLib(std::string libPath) {
  const std::string directory =
      std::filesystem::path(std::move(libPath)).parent_path().string();
  const std::int32_t context =
      directory.find(kPostLoadStore) != std::string::npos ? 2 : 1;
  upgradeRunner.store(context, std::memory_order_seq_cst);
  // ThreadSanitizer does not model stand-alone fences; GCC warns about them
  // in sanitized builds. The store is seq_cst on its own, so nothing is lost.
#if defined(__GNUC__) && !defined(__clang__) && defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wtsan"
#endif
  std::atomic_thread_fence(std::memory_order_seq_cst);
#if defined(__GNUC__) && !defined(__clang__) && defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic pop
#endif
}

}  // namespace KoraConfigStore
