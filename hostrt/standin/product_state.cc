// Preferences, product state and the host-type query of the stand-in host.
#include <atomic>
#include <mutex>
#include <string>

#include "cssupport/hostrt/hostrt.h"
#include "hostrt/product_state.h"
#include "hostrt/standin/locks.h"

namespace hostrt_standin {
namespace {

std::atomic<int> preferenceUsers{0};

using hostrt_internal::ProductState;

std::mutex stateMutex;

// Guarded by ProductStateMutex(); its texts live until the library is
// unloaded.
ProductState& State() { return Lasting<ProductState>(); }

std::string OrEmpty(const char* text) {
  return text != nullptr ? text : std::string();
}

const char* Get(const char* ProductState::*field) {
  ProductState& state = State();
  const Held lock(stateMutex);
  return state.*field;
}

// At unload (see logging.cc): frees the texts; a later getter returns "".
[[gnu::destructor]] void ReleaseAtUnload() {
  ProductState released;
  const Held lock(stateMutex);
  std::swap(State(), released);
}

}  // namespace

std::mutex& ProductStateMutex() { return stateMutex; }

}  // namespace hostrt_standin

extern "C" {

void Preference_Init(void) { ++hostrt_standin::preferenceUsers; }

void Preference_Exit(void) {
  int users = hostrt_standin::preferenceUsers.load();
  while (users > 0 && !hostrt_standin::preferenceUsers.compare_exchange_weak(
                          users, users - 1)) {
  }
}

// Keeps what the getters return; the other values have no getter here.
// Without memory for the texts, the earlier ones stay. The getters return the
// texts of the last call ("" before any; the build number in decimal), valid
// until the stand-in is unloaded.
void ProductState_Set(int /*productId*/, const char* name, const char* version,
                      int buildNumber, int /*productBuildNumber*/,
                      const char* /*productName*/,
                      const char* /*releaseVersion*/,
                      const char* compilationOption) {
  using hostrt_standin::OrEmpty;
  hostrt_standin::ProductState& state = hostrt_standin::State();
  const hostrt_standin::Held lock(hostrt_standin::stateMutex);
  try {
    state.Set(OrEmpty(name), OrEmpty(version), buildNumber,
              OrEmpty(compilationOption));
  } catch (...) {
  }
}

const char* ProductState_GetName(void) {
  return hostrt_standin::Get(&hostrt_standin::ProductState::name);
}

const char* ProductState_GetVersion(void) {
  return hostrt_standin::Get(&hostrt_standin::ProductState::version);
}

const char* ProductState_GetBuildNumberString(void) {
  return hostrt_standin::Get(&hostrt_standin::ProductState::buildNumber);
}

const char* ProductState_GetCompilationOption(void) {
  return hostrt_standin::Get(&hostrt_standin::ProductState::compilationOption);
}

// The stand-in never runs on the hypervisor kernel.
bool HostType_OSIsHvk(void) { return false; }

}  // extern "C"
