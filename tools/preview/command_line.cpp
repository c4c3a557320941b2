#include "tools/preview/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "tools/preview/stream_input.h"

bool ParsePreviewCommand(int argc, char* argv[], PreviewCommand& command, const OwnOption& own) {
    bool ok = true;
    for (int i = 1; i < argc && ok; ++i) {
        const std::string arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if ((arg == "-o" || arg == "--prefix") && next != nullptr && *next != '\0') {
            (arg == "-o" ? command.outDir : command.prefix) = next;
            ++i;
        } else if (arg == "--no-png") {
            command.png = false;
        } else if (command.input.empty() && (arg == "-" || arg[0] != '-')) {
            command.input = arg;
        } else {
            const int taken = own ? own(arg, next) : 0;
            ok = taken > 0;
            i += taken - 1;
        }
    }
    if (!ok || command.input.empty()) {
        std::cerr << command.usage << "\n";
        return false;
    }
    if (command.prefix.empty()) {
        command.prefix = command.input == "-"
                             ? command.defaultPrefix
                             : std::filesystem::path(command.input).stem().string();
    }
    return true;
}

bool ReadPreviewInput(const PreviewCommand& command, std::string& stream) {
    if (ReadStreamInput(command.input, stream)) return true;
    std::cerr << command.name << ": cannot read " << command.input << ": " << std::strerror(errno)
              << "\n";
    return false;
}

void WritePreviewPng(PreviewCommand& command, int number, const GreyBitmap& image) {
    if (image.empty()) return;
    const std::string path = command.outDir + "/" + command.prefix +
                             (number > 0 ? "-" + std::to_string(number) : "") + ".png";
    std::string error;
    if (WritePng(path, image, &error)) {
        std::cerr << command.name << ": wrote " << path << "\n";
    } else {
        std::cerr << command.name << ": " << error << "\n";
        command.failedPng = true;
    }
}

int PreviewExitStatus(const PreviewCommand& command, bool sound) {
    if (command.failedPng) return 2;
    return sound ? 0 : 1;
}

bool ParseWholeNumber(const char* text, uint32_t low, uint32_t high, uint32_t& value) {
    if (text == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
    value = static_cast<uint32_t>(v);
    return true;
}
