// Reads the barcodes on a rendered label with libzbar, so that a job can be checked to scan
// before a single label is printed.
#pragma once

#include <string>
#include <vector>

#include "tools/preview/bitmap.h"

// Every barcode zbar finds on the image, as "TYPE:data" ("CODE-128:MX0012345678",
// "QR-Code:..."), in the order zbar reports them.
std::vector<std::string> ReadBarcodes(const GreyBitmap& image);
