// The text summary of a decoded TSPL stream (format described in tspl_decoder.h).
#include <sstream>

#include "tools/preview/summary_lines.h"
#include "tools/tspldecode/tspl_decoder.h"
#include "tools/tspldecode/tspl_params.h"

using tsplparams::Millimetres;

namespace {

const char* OnOff(bool on) {
    return on ? "on" : "off";
}

void SizeLine(std::ostream& out, const TsplJob& job) {
    const TsplSettings& s = job.settings;
    if (!s.width || !s.height) {
        out << "size unset\n";
        return;
    }
    out << "size " << TsplDots(*s.width, job.dpi) << " x " << TsplDots(*s.height, job.dpi)
        << " dots, " << Millimetres(*s.width, job.dpi) << " x " << Millimetres(*s.height, job.dpi)
        << " mm\n";
}

void MediaLine(std::ostream& out, const TsplJob& job) {
    const TsplSettings& s = job.settings;
    out << "media ";
    switch (s.media) {
        case TsplMedia::Unset:
            out << "unset\n";
            return;
        case TsplMedia::Continuous:
            out << "continuous\n";
            return;
        case TsplMedia::Gap:
            out << "gap ";
            break;
        case TsplMedia::BlackLine:
            out << "black-line ";
            break;
    }
    out << Millimetres(s.mediaHeight, job.dpi) << " mm offset "
        << Millimetres(s.mediaOffset, job.dpi) << " mm\n";
}

void SettingLines(std::ostream& out, const TsplJob& job) {
    const TsplSettings& s = job.settings;
    if (s.direction) out << "direction " << *s.direction << "," << *s.mirror << "\n";
    if (s.referenceX) out << "reference " << *s.referenceX << "," << *s.referenceY << "\n";
    if (s.density) out << "density " << *s.density << "\n";
    if (s.speed) out << "speed " << *s.speed << "\n";
    if (s.offset) out << "offset " << Millimetres(*s.offset, job.dpi) << " mm\n";
    if (s.ribbon) out << "ribbon " << OnOff(*s.ribbon) << "\n";
    if (s.peel) out << "peel " << OnOff(*s.peel) << "\n";
    if (s.tear) out << "tear " << OnOff(*s.tear) << "\n";
    if (s.cutter == TsplCutter::Off) out << "cutter off\n";
    if (s.cutter == TsplCutter::Every) out << "cutter every " << s.cutEvery << "\n";
    if (s.cutter == TsplCutter::Batch) out << "cutter batch\n";
}

void PrintLines(std::ostream& out, const TsplPrint& p) {
    static const char* const kModes[] = {"overwrite", "or", "xor"};
    out << "print " << p.number << ": offset " << p.offset << " sets " << p.sets << " copies "
        << p.copies << " labels ";
    if (p.labels > 0) {
        out << p.firstLabel << "-" << p.firstLabel + p.labels - 1;
    } else {
        out << "none";
    }
    out << " size " << p.widthDots << "x" << p.heightDots << " dark " << p.darkDots << "\n";
    for (size_t j = 0; j < p.bitmaps.size(); ++j) {
        const TsplBitmap& b = p.bitmaps[j];
        out << "print " << p.number << " bitmap " << j + 1 << ": at " << b.x << "," << b.y
            << " size " << b.bytesPerRow * 8 << "x" << b.rows << " mode " << kModes[b.mode]
            << " bytes " << b.dataBytes << "\n";
    }
}

// Runs of labels that share their cut state, so that long jobs stay readable.
void CutLines(std::ostream& out, const TsplJob& job) {
    const std::vector<bool>& cuts = job.cutAfter;
    for (size_t first = 0; first < cuts.size();) {
        size_t last = first;
        while (last + 1 < cuts.size() && cuts[last + 1] == cuts[first]) ++last;
        out << "labels " << first + 1 << "-" << last + 1 << ": "
            << (cuts[first] ? "cut after each" : "no cut") << "\n";
        first = last + 1;
    }
    out << "labels " << job.Labels() << " cuts " << job.Cuts() << "\n";
}

}  // namespace

std::string FormatTsplSummary(const TsplJob& job) {
    std::ostringstream out;
    out << "dpi " << job.dpi << (job.dpiDetected ? " detected" : " given") << "\n";
    SizeLine(out, job);
    MediaLine(out, job);
    SettingLines(out, job);
    out << "clears " << job.clears << "\n";
    for (const TsplPrint& p : job.prints) PrintLines(out, p);
    CutLines(out, job);
    FindingLines(out, job.unknown, job.warnings, job.errors);
    return out.str();
}
