/// \file
/// \brief The process-wide upgrade context.
///
/// 0 until the first SetUpgradeCtxFromLib; then 2 when the directory part of
/// the last given library path contains "postLoadStore" (case-sensitive, at
/// any level, also inside a longer name), else 1. Purely lexical: the file
/// system is never consulted.
#ifndef CSSUPPORT_CONFIG_UPGRADE_CONTEXT_H_
#define CSSUPPORT_CONFIG_UPGRADE_CONTEXT_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "cssupport/export.h"

namespace KoraConfigStore {

/// The context itself, for readers that want it without a call. Written only
/// by SetUpgradeCtxFromLib, with sequentially consistent stores.
extern CSSUPPORT_EXPORT std::atomic<std::int32_t> upgradeRunner;

/// The current context: 0, 1 or 2. Any thread.
CSSUPPORT_EXPORT std::int32_t GetUpgradeCtx();

/// Sets the context from `libPath`'s parent path. Every text is acceptable.
/// Any thread; concurrent setters leave the value of one of them.
CSSUPPORT_EXPORT void SetUpgradeCtxFromLib(std::string libPath);

}  // namespace KoraConfigStore

#endif  // CSSUPPORT_CONFIG_UPGRADE_CONTEXT_H_
