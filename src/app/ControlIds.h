#pragma once

// Control and command ids of the program's dialogs and menus, one header per
// dialog, gathered here.
#include "app/MainWindowIds.h"
#include "reminders/AlertDlgIds.h"
#include "store/RepairDlgIds.h"
#include "system/SettingsDlgIds.h"
#include "timesync/TimeSyncDlgIds.h"
#include "widgets/AboutDlgIds.h"
