// rastomoxepl: CUPS raster to EPL2 for label printers.
#include "epl/epl_filter.h"

int main(int argc, char* argv[]) {
    return RunLabelFilter(argc, argv, kEplFilter);
}
