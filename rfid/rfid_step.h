// What a per-page RFID step tells the job flow of the label filters.
#pragma once

#include <string>

enum class RfidOutcome {
    NotRfidJob,  // the title asks for no RFID data: the page prints as usual
    Written,     // the page's RFID data went out ahead of it: the page prints
    Failed,      // the page's RFID data could not be had: the job ends with "ERROR: <reason>"
                 // and exit status 1, without this page
    Canceled,    // the job was canceled while the step waited: the job ends as canceled
};

struct RfidStep {
    RfidOutcome outcome = RfidOutcome::NotRfidJob;
    std::string reason;  // for Failed: one line for the administrator, without "ERROR: "
};
