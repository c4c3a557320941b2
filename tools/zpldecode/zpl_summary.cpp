// The text summary of a decoded ZPL stream (format described in zpl_decoder.h).
#include <cstdio>
#include <sstream>

#include "tools/preview/summary_lines.h"
#include "tools/zpldecode/zpl_decoder.h"
#include "tools/zpldecode/zpl_text.h"

namespace {

std::string Dimension(const std::optional<uint32_t>& value) {
    return value ? std::to_string(*value) : "unset";
}

const ZplField* FirstGraphic(const ZplLabel& label) {
    for (const ZplField& f : label.fields) {
        if (f.kind == ZplField::Kind::Graphic) return &f;
    }
    return nullptr;
}

void LabelLine(std::ostream& out, const ZplLabel& label) {
    out << "label " << label.number << ": width " << Dimension(label.printWidth) << " length "
        << Dimension(label.labelLength);
    if (const ZplField* g = FirstGraphic(label)) {
        out << " graphic " << zpltext::Escape(g->graphic) << " at " << g->x << "," << g->y
            << " size " << g->widthDots << "x" << g->heightDots;
    } else {
        out << " graphic none";
    }
    out << " copies " << label.copies << " pause/cut " << label.pauseCut << " replicates "
        << label.replicates << " override " << label.overridePause << " dark " << label.darkDots
        << "\n";
}

void FieldLine(std::ostream& out, const ZplLabel& label, size_t index) {
    const ZplField& f = label.fields[index];
    out << "label " << label.number << " field " << index + 1 << ": ";
    switch (f.kind) {
        case ZplField::Kind::Graphic:
            out << "graphic " << zpltext::Escape(f.graphic) << " at " << f.x << "," << f.y
                << " size " << f.widthDots << "x" << f.heightDots << " mag " << f.magX << ","
                << f.magY << (f.found ? "" : " missing");
            break;
        case ZplField::Kind::Box:
            out << "box at " << f.x << "," << f.y << " size " << f.widthDots << "x" << f.heightDots;
            break;
        case ZplField::Kind::Text:
            out << "text at " << f.x << "," << f.y << " \"" << zpltext::Escape(f.text) << "\"";
            break;
    }
    out << "\n";
}

}  // namespace

std::string FormatSummary(const ZplDecodeResult& r) {
    std::ostringstream out;
    out << "formats " << r.formats << "\n";
    out << "labels " << r.labels.size() << " copies " << r.TotalCopies() << "\n";
    for (size_t i = 0; i < r.rfid.size(); ++i) {
        char command[8];
        std::snprintf(command, sizeof(command), "%02x", r.rfid[i].command);
        out << "rfid " << i + 1 << ": offset " << r.rfid[i].offset << " command " << command
            << " length " << r.rfid[i].data.size() << " data " << HexDigits(r.rfid[i].data) << "\n";
    }
    for (const ZplSetting& s : r.settings) {
        out << "setting " << s.command << (s.params.empty() ? "" : " ") << s.params << "\n";
    }
    for (const ZplDownload& d : r.downloads) {
        out << "download " << zpltext::Escape(d.name) << ": bytes " << d.totalBytes << " per-row "
            << d.bytesPerRow << " rows " << (d.bytesPerRow ? d.totalBytes / d.bytesPerRow : 0)
            << " encoding " << (d.encoding.empty() ? "none" : d.encoding) << " crc "
            << (d.crc.empty() ? "none" : d.crc) << " stored " << (d.stored ? "yes" : "no") << "\n";
    }
    for (const ZplLabel& label : r.labels) {
        LabelLine(out, label);
        for (size_t k = 0; k < label.fields.size(); ++k) FieldLine(out, label, k);
    }
    for (const ZplDelete& d : r.deletes)
        out << "delete " << d.pattern << " removed " << d.removed << "\n";
    FindingLines(out, r.unknown, r.warnings, r.errors);
    return out.str();
}
