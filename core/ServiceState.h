// ServiceState: what the running service's parts read besides the database: the saved settings
// values, the options and the system log. The service owns one and hands it (or the part needed)
// to the server, the account handlers and the database object; each must outlive its users.
// Thread rules are those of its members: values are replaced whole, the log locks itself.
#pragma once

#include "core/Options.h"
#include "core/SettingsValues.h"
#include "core/SysStringS.h"

namespace orvo::core {

struct ServiceState {
  SettingsValues settings;
  OptionValues options;
  TSysStringS sysLog;
};

}  // namespace orvo::core
