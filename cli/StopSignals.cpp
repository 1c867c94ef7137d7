#include <csignal>

#include "cli/Terminal.h"

namespace qor::cli {
namespace {

volatile std::sig_atomic_t Stop = 0;

extern "C" void OnStopSignal(int) {
    Stop = 1;
}

} // namespace

void CatchStopSignals() {
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
}

bool StopRequested() {
    return Stop != 0;
}

const char* StopRequestNames() {
    return "Ctrl+C, SIGTERM";
}

} // namespace qor::cli
