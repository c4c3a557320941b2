// The job flow of each label filter: how its page loop differs from the others. The programs
// add their renderer and, where they have them, the RFID and PDF steps.
#pragma once

#include "filter/label_job.h"

LabelFilterTraits ZplJobTraits();
LabelFilterTraits TsplJobTraits();
LabelFilterTraits EplJobTraits();
