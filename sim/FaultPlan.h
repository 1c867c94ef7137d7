// Faults the virtual device injects into its replies: chosen by the request's number (counted
// from 0 since the device was made), by its code, or by the write block it carries.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qor {

enum class TFaultKind {
    DropReply,       // the request is carried out, its reply never sent
    CorruptCrc,      // the reply's CRC has one bit flipped
    AnswerCode13,    // the device refuses: reply code 13, request not carried out
    AnswerOtherCode, // a sound reply with another request's code (Param; the next code when
                     // Param is the request's own), request carried out
    Truncate,        // only the first Param bytes of the reply (default: half of it)
    AnnounceLength,  // a frame whose length field says Param (default 300), sent whole
    Delay,           // the reply comes Param milliseconds late
    Unplug,          // the device drops off the bus before it answers
};

enum class TFaultTrigger { RequestNumber, RequestCode, WriteBlock };

struct TFault {
    TFaultTrigger Trigger = TFaultTrigger::RequestNumber;
    std::uint32_t Value = 0;
    TFaultKind Kind = TFaultKind::DropReply;
    std::uint32_t Param = 0;
    bool Repeat = false;    // false: used up by its first match
    std::uint32_t Skip = 0; // matches let pass before it strikes ("the second checksum request")

    static TFault OnRequest(std::uint32_t number, TFaultKind kind, std::uint32_t param = 0);
    static TFault OnCode(std::uint8_t code, TFaultKind kind, std::uint32_t param = 0);
    static TFault OnBlock(std::uint32_t block, TFaultKind kind, std::uint32_t param = 0);
};

class TFaultPlan {
public:
    void Add(const TFault& fault) { Faults.push_back(fault); }
    void Clear() { Faults.clear(); }
    std::size_t Pending() const { return Faults.size(); }

    // The first fault that matches the request and has no matches left to let pass, removed
    // unless it repeats. `block` is set for
    // write requests only.
    std::optional<TFault> Take(std::uint32_t number, std::uint8_t code,
                               std::optional<std::uint32_t> block);

private:
    std::vector<TFault> Faults;
};

} // namespace qor
