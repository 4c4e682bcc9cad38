// Internal: the event catalogue's rows, identifier and message template, in
// the order jotMsgMap is built from them.
//
// Header-only so that cstool lists and checks the events by the same rows
// as DumpJot records them.
#ifndef CSSUPPORT_EVENTS_INTERNAL_EVENT_CATALOGUE_H_
#define CSSUPPORT_EVENTS_INTERNAL_EVENT_CATALOGUE_H_

#include <utility>

namespace KoraConfigStore {
namespace internal {

inline constexpr std::pair<const char*, const char*> kEventCatalogue[] = {
    {"jot.user.cs.createstore.copy.backup.error",
     "Error copying ConfigStore from backup %s."},
    {"jot.user.cs.db.operation.error",
     "ConfigStore database operation failed."},
    {"jot.user.cs.schema.file.error", "Error processing schema file %s."},
    {"jot.user.cs.schema.metadata.error",
     "Invalid metadata in schema file %s."},
    {"jot.user.cs.schema.validation.error",
     "ParcelId validation failed for schema file %s."},
    {"jot.user.cs.dfs.restore.error", "DataFile store cannot be restored."},
    {"jot.user.cs.dfs.cleanup.error", "Error cleaning up Datafile store."},
    {"jot.user.cs.desired.config.error",
     "Failed to setup desired configuration."},
    {"jot.user.cs.upgrade.config.error", "Error in upgrading config %s."},
};

}  // namespace internal
}  // namespace KoraConfigStore

#endif  // CSSUPPORT_EVENTS_INTERNAL_EVENT_CATALOGUE_H_
