// Reading PPD option values and the job's "DriverLog" switch.
#pragma once

#include <cups/raster.h>

typedef struct ppd_file_s ppd_file_t;

// Code string of the option's marked choice, else of its default choice; null when absent.
// The text belongs to the PPD record.
const char* GetOptionChoiceCode(const char* keyword, ppd_file_t* ppd);
// strtol of that code string; -1 when absent.
int GetOptionChoiceIndex(const char* keyword, ppd_file_t* ppd);
// strtod of that code string as a float; -1.0 when absent.
float GetOptionChoiceIndexf(const char* keyword, ppd_file_t* ppd);
// true while "DriverLog" is on; otherwise stops the log manager for the rest of the job.
bool UpdateLogStatus(ppd_file_t* ppd);
