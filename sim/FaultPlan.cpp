#include "sim/FaultPlan.h"

namespace qor {

TFault TFault::OnRequest(std::uint32_t number, TFaultKind kind, std::uint32_t param) {
    return {TFaultTrigger::RequestNumber, number, kind, param, false, 0};
}

TFault TFault::OnCode(std::uint8_t code, TFaultKind kind, std::uint32_t param) {
    return {TFaultTrigger::RequestCode, code, kind, param, false, 0};
}

TFault TFault::OnBlock(std::uint32_t block, TFaultKind kind, std::uint32_t param) {
    return {TFaultTrigger::WriteBlock, block, kind, param, false, 0};
}

std::optional<TFault> TFaultPlan::Take(std::uint32_t number, std::uint8_t code,
                                       std::optional<std::uint32_t> block) {
    for (auto it = Faults.begin(); it != Faults.end(); ++it) {
        bool match = false;
        switch (it->Trigger) {
        case TFaultTrigger::RequestNumber:
            match = it->Value == number;
            break;
        case TFaultTrigger::RequestCode:
            match = it->Value == code;
            break;
        case TFaultTrigger::WriteBlock:
            match = block && *block == it->Value;
            break;
        }
        if (match && it->Skip > 0) {
            --it->Skip;
            continue;
        }
        if (match) {
            const TFault fault = *it;
            if (!fault.Repeat) {
                Faults.erase(it);
            }
            return fault;
        }
    }
    return std::nullopt;
}

} // namespace qor
