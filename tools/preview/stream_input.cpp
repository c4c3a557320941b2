#include "tools/preview/stream_input.h"

#include <cstdio>

bool ReadStreamInput(const std::string& name, std::string& bytes) {
    FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
    const bool ok = !std::ferror(file);
    if (file != stdin) std::fclose(file);
    return ok;
}
