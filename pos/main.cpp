// rastertomoxdtpos: CUPS raster to ESC/POS for receipt printers.
#include "pos/receipt_job.h"

int main(int argc, char* argv[]) {
    return RunReceiptFilter(argc, argv);
}
