// rastomoxtspl: CUPS raster to TSPL for label printers.
#include "tspl/tspl_filter.h"

int main(int argc, char* argv[]) {
    return RunLabelFilter(argc, argv, kTsplFilter);
}
