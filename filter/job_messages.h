// Lines for CUPS on standard error. CUPS reads the prefix of each line ("ERROR: ", "INFO: ",
// ...); a job that fails reports exactly one ERROR line, which must start a line of its own
// even after a status text that has no line end.
#pragma once

// Writes a fixed status text as it stands (no prefix, no line end).
void WriteStatus(const char* text);

// Writes "ERROR: <text>\n" for the job's first error; any later one goes out as a DEBUG
// line, so that CUPS shows the cause rather than its consequences.
void ReportError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// True once the job has reported an error.
bool ErrorReported();
