// rastomoxzpl: everything that makes the ZPL II filter differ from the other label filters.
#pragma once

#include "filter/label_filter.h"
#include "settings/oem_cfg.h"

// How the ZPL filter reads its settings: offsets in millimetres, speeds and media tracking
// from the "ze" options, a density of 1000 keeping the printer's own darkness.
extern const SettingsProfile kZplSettings;

extern const LabelFilterDefinition kZplFilter;
