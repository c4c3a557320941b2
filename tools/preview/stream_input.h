// Reading a whole printer stream for the decoder commands: a file, or standard input for "-".
#pragma once

#include <string>

bool ReadStreamInput(const std::string& name, std::string& bytes);
