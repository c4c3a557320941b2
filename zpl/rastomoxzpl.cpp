// rastomoxzpl: CUPS raster to ZPL II for label printers.
#include "zpl/zpl_filter.h"

int main(int argc, char* argv[]) {
    return RunLabelFilter(argc, argv, kZplFilter);
}
