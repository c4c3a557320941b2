// What another user can leave at a fixed name in /tmp before a job starts, and a way to run
// a piece of a job in a process of its own that may hang.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum class Planted { Fifo, SymbolicLink, Directory, HardLink, OtherUsersFile };

struct PlantedCase {
    Planted kind;
    const char* name;
    const char* problem;  // what OpenOwnFile reports
};
const std::vector<PlantedCase>& PlantedCases();

// Puts `kind` at `path`; links point at `victim`, which must exist.
void Plant(Planted kind, const std::string& path, const std::string& victim);

struct ChildRun {
    bool finished = false;  // false: killed after the time limit
    int exitCode = -1;
    std::string err;  // its standard error
};
// Runs `job` in a forked process with standard error collected; kills it after `seconds`.
ChildRun RunInChild(const std::function<void()>& job, int seconds);
