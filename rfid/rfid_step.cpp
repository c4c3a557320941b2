#include "rfid/rfid_step.h"

#include <cstdio>

#include "log/log4z.h"

void ReportRfidFailure(const RfidStep& step) {
    if (step.outcome != RfidOutcome::Failed) return;
    std::fprintf(stderr, "ERROR: %s\n", step.reason.c_str());
    LOGE("%s", step.reason.c_str());
}
