#pragma once

#include "fleet/fleet_store.h"
#include "fleet_options.h"

namespace kv6::ctl {

// The subcommands of `kv6ctl fleet`, each on an open store. Exit codes as
// every kv6ctl command: 0 done, 1 refused, 2 bad arguments or files.
int fleetQueue(fleet::FleetStore& store, const FleetOptions& options);
int fleetJobs(fleet::FleetStore& store, const FleetOptions& options);
int fleetModules(fleet::FleetStore& store, const FleetOptions& options);
int fleetBackups(fleet::FleetStore& store, const FleetOptions& options);
int fleetBackup(fleet::FleetStore& store, const FleetOptions& options);
int fleetCancel(fleet::FleetStore& store, const FleetOptions& options);
int fleetAudit(fleet::FleetStore& store, const FleetOptions& options);
int fleetLockouts(fleet::FleetStore& store, const FleetOptions& options);
int fleetKey(fleet::FleetStore& store, const FleetOptions& options);
int fleetDrift(fleet::FleetStore& store, const FleetOptions& options);
int fleetTag(fleet::FleetStore& store, const FleetOptions& options);
int fleetRollout(fleet::FleetStore& store, const FleetOptions& options);

// Prints "kv6ctl fleet: message" and the fleet usage; returns 2.
int fleetUsageError(const QString& message);

}  // namespace kv6::ctl
