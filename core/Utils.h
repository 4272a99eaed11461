// The support module: the system log, the locked dictionary, the split helper, the text list and
// the service's state (settings values, options, system log).
#pragma once

#include "core/Autostart.h"
#include "core/ServiceState.h"
#include "core/SettingsValues.h"
#include "core/SplitAtFirst.h"
#include "core/SysStringS.h"
#include "core/TextList.h"
#include "core/ThreadSafeDic.h"
