// The text summary of a decoded EPL2 stream (format described in epl_decoder.h).
#include <sstream>

#include "tools/epldecode/epl_decoder.h"
#include "tools/preview/summary_lines.h"

namespace {

std::string Media(const std::optional<EplMedia>& media) {
    if (!media) return "unset";
    const std::string offset = media->offsetDots ? "+" + std::to_string(media->offsetDots) : "";
    switch (media->kind) {
        case EplMedia::Kind::Gap:
            return "gap " + std::to_string(media->gapDots) + offset;
        case EplMedia::Kind::BlackLine:
            return "black-line " + std::to_string(media->gapDots) + offset;
        case EplMedia::Kind::Continuous:
            break;
    }
    return "continuous";
}

void LabelLines(std::ostream& out, const EplLabel& label) {
    out << "label " << label.number << ": width "
        << (label.widthDots ? std::to_string(*label.widthDots) : "unset") << " length "
        << (label.media ? std::to_string(label.media->lengthDots) : "unset") << " media "
        << Media(label.media) << " copies " << label.copies << " first " << label.firstLabel
        << " dark " << label.darkDots << "\n";
    size_t graphics = 0, boxes = 0;
    for (const EplObject& o : label.objects) {
        const bool graphic = o.kind == EplObject::Kind::Graphic;
        out << "label " << label.number << (graphic ? " graphic " : " box ")
            << (graphic ? ++graphics : ++boxes) << ": at " << o.x << "," << o.y << " size "
            << o.widthDots << "x" << o.heightDots << " offset " << o.offset << "\n";
    }
}

}  // namespace

std::string FormatEplSummary(const EplJob& job) {
    std::ostringstream out;
    out << "labels " << job.labels.size() << " printed " << job.printed << " cuts " << job.cutCount
        << " uncut " << job.Uncut() << "\n";
    for (const EplSetting& s : job.settings)
        out << "setting " << s.command << (s.params.empty() ? "" : " ") << s.params << "\n";
    for (const EplLabel& label : job.labels) LabelLines(out, label);
    for (const EplCut& cut : job.cuts) {
        out << "cut after label " << cut.afterLabel << " (label " << cut.label << " copy "
            << cut.copy << ")\n";
    }
    FindingLines(out, job.unknown, job.warnings, job.errors);
    return out.str();
}
