// A job's cancel request as the shared libraries see it: the address of the flag that the job
// flow's SIGTERM handler sets, or null where nothing can cancel. Every wait of the libraries
// (child tools, the message queue, file locks) tests it at least every 100 ms.
#pragma once

#include <csignal>

using CancelFlag = const volatile sig_atomic_t*;

inline bool IsCanceled(CancelFlag flag) {
    return flag != nullptr && *flag != 0;
}
