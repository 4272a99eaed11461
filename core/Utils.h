// The support module: the system log, the locked dictionary, the split helper, the text list and
// the process-wide settings values.
#pragma once

#include "core/Autostart.h"
#include "core/SettingsValues.h"
#include "core/SplitAtFirst.h"
#include "core/SysStringS.h"
#include "core/TextList.h"
#include "core/ThreadSafeDic.h"
