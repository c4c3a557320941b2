// The text summary of a decoded ESC/POS stream (format described in pos_decoder.h).
#include <cstdio>
#include <sstream>

#include "tools/posdecode/pos_decoder.h"
#include "tools/preview/summary_lines.h"

namespace {

std::string Hex(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof(text), "%02x", b);
    return text;
}

void EventLine(std::ostream& out, size_t k, const PosEvent& e) {
    out << "event " << k << ": ";
    switch (e.kind) {
        case PosEventKind::Initialise:
            out << "init";
            break;
        case PosEventKind::MotionUnits:
            out << "motion-units " << e.unitsX << " " << e.unitsY;
            break;
        case PosEventKind::Logo:
            out << "logo key " << Hex(e.key1) << "," << Hex(e.key2) << " scale " << int(e.scaleX)
                << "x" << int(e.scaleY);
            break;
        case PosEventKind::Band:
            out << "band at " << e.x << "," << e.y << " size " << e.widthDots << "x" << e.rows
                << " offset " << e.offset << "\n";
            return;
        case PosEventKind::Feed:
            out << "feed " << e.dots;
            break;
        case PosEventKind::Cut:
            out << "cut " << (e.partial ? "partial" : "full") << " feed " << e.dots;
            break;
        case PosEventKind::DrawerPulse:
            out << "drawer pin " << e.pin << " on " << e.onMs << " off " << e.offMs;
            break;
        case PosEventKind::BlackMark:
            out << "black-mark";
            break;
    }
    out << " offset " << e.offset << " at " << e.y << "\n";
}

}  // namespace

std::string FormatPosSummary(const PosDecodeResult& r) {
    std::ostringstream out;
    for (size_t k = 0; k < r.events.size(); ++k) EventLine(out, k + 1, r.events[k]);
    out << "bands " << r.bands << " rows " << r.bandRows << " feeds " << r.feeds << " fed "
        << r.fedDots << " length " << r.lengthDots << " dark " << r.darkDots << "\n";
    out << "cuts " << r.cuts << " drawer " << r.drawerPulses << " black-marks " << r.blackMarks
        << " logos " << r.logos << " init " << r.initialisations << " cr " << r.carriageReturns
        << " lf " << r.lineFeeds << " text " << r.textBytes << "\n";
    FindingLines(out, r.unknown, r.warnings, r.errors);
    return out.str();
}
