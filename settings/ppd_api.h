// The CUPS PPD interface. It is deprecated in CUPS 2.x, yet it is how a raster filter reads
// its queue's PPD; files that include this header accept that deprecation.
#pragma once

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
