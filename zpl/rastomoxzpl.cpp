// rastomoxzpl: CUPS raster to ZPL II for label printers.
#include "filter/label_filters.h"
#include "zpl/zpl_render.h"

int main(int argc, char* argv[]) {
    LabelFilterTraits traits = ZplJobTraits();
    traits.makeRenderer = MakeLabelRenderer<JobRenderer, CZPLIIRenderClass>;
    return RunLabelFilter(argc, argv, traits);
}
