// Faults written as text, for test programs that take them from their environment:
// "TRIGGER:VALUE:KIND[:PARAM][:skip=N][:repeat]", several separated by ';'. TRIGGER is
// request (the request's number since the device was made), code (its request code) or block
// (the write block's index); KIND is drop, crc, code13, other, truncate, length, delay or
// unplug; PARAM is the kind's parameter; skip=N lets the first N matches pass; repeat strikes
// at every match instead of the first only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "sim/FaultPlan.h"

namespace qor::test {

inline std::optional<std::vector<TFault>> ParseFaults(const std::string& text) {
    static const std::map<std::string, TFaultTrigger> triggers{
        {"request", TFaultTrigger::RequestNumber},
        {"code", TFaultTrigger::RequestCode},
        {"block", TFaultTrigger::WriteBlock}};
    static const std::map<std::string, TFaultKind> kinds{
        {"drop", TFaultKind::DropReply},      {"crc", TFaultKind::CorruptCrc},
        {"code13", TFaultKind::AnswerCode13}, {"other", TFaultKind::AnswerOtherCode},
        {"truncate", TFaultKind::Truncate},   {"length", TFaultKind::AnnounceLength},
        {"delay", TFaultKind::Delay},         {"unplug", TFaultKind::Unplug}};
    const auto number = [](const std::string& digits) -> std::optional<std::uint32_t> {
        if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(std::stoul(digits));
    };
    std::vector<TFault> faults;
    std::istringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        if (entry.empty()) {
            continue;
        }
        std::vector<std::string> parts;
        std::istringstream fields(entry);
        std::string field;
        while (std::getline(fields, field, ':')) {
            parts.push_back(field);
        }
        if (parts.size() < 3 || !triggers.count(parts[0]) || !kinds.count(parts[2]) ||
            !number(parts[1])) {
            return std::nullopt;
        }
        TFault fault;
        fault.Trigger = triggers.at(parts[0]);
        fault.Value = *number(parts[1]);
        fault.Kind = kinds.at(parts[2]);
        for (std::size_t i = 3; i < parts.size(); ++i) {
            if (parts[i] == "repeat") {
                fault.Repeat = true;
            } else if (parts[i].rfind("skip=", 0) == 0) {
                const auto skip = number(parts[i].substr(5));
                if (!skip) {
                    return std::nullopt;
                }
                fault.Skip = *skip;
            } else if (const auto param = number(parts[i])) {
                fault.Param = *param;
            } else {
                return std::nullopt;
            }
        }
        faults.push_back(fault);
    }
    return faults;
}

} // namespace qor::test
