// rastomoxepl: everything that makes the EPL2 filter differ from the other label filters.
#pragma once

#include "filter/label_filter.h"
#include "settings/oem_cfg.h"
#include "tspl/tspl_filter.h"

// EPL reads the settings TSPL reads, except that "Feed" is its cut position, and logs some
// of them under their own names.
inline constexpr SettingsProfile kEplSettings = [] {
    SettingsProfile epl = kTsplSettings;
    epl.filterName = "rastomoxepl";
    epl.feed = FeedMeaning::CutPosition;
    epl.savePaperLogText = "Init sSavePaper: %d";
    epl.startOffsetLogText = "Init dwStartOffsetValue: %d";
    epl.endOffsetLogText = "Init dwEndOffsetValue: %d";
    return epl;
}();

extern const LabelFilterDefinition kEplFilter;
