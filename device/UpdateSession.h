// Writing an image into the device: begin, prepare the range, one write per 512-byte block,
// finish the range, end, then read back the checksums and the firmware version. Runs on the
// caller's thread; between exchanges it lets the caller's events run through an observer,
// and reports progress and its outcome there and in its result. It never touches a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/BootloaderClient.h"
#include "device/DeviceInfo.h"
#include "device/DeviceLink.h"

namespace qor {

// The steps that can fail, numbered as the update's failure exits.
enum class TUpdateStep : int {
    BeginUpdate = 0,
    PrepareRange = 1,
    WriteBlock = 2,
    FinishRange = 3,
    EndUpdate = 4,
    GetChecksums = 5,
    GetFirmwareVersion = 6,
};

struct TUpdateFailure {
    TUpdateStep Step = TUpdateStep::BeginUpdate;
    std::size_t Block = 0; // the block whose write failed
    TExchangeError Error;

    int Exit() const { return static_cast<int>(Step); }
    // The exit as the user reads it: "2:17" for block 17, else the number alone.
    std::string ExitText() const;
};

enum class TUpdateResult {
    Succeeded,       // written, and the device's checksums agree
    ChecksumsDiffer, // written, but the device's checksums disagree
    Failed,          // an exchange failed: see Failure
    Stopped,         // the caller asked to stop; nothing more was sent
    Refused,         // the image does not fit this device; nothing was sent
};

struct TUpdateOutcome {
    TUpdateResult Result = TUpdateResult::Refused;
    std::optional<TUpdateFailure> Failure;
    std::string Refusal; // why it was refused
    std::size_t BlocksWritten = 0;
};

class IUpdateObserver {
public:
    virtual ~IUpdateObserver() = default;
    // Lets the caller's pending events run. The link may lose its device meanwhile.
    virtual void Pump() = 0;
    // The same while an exchange waits for its reply; nothing else goes to the device then.
    virtual void PumpWhileWaiting() {}
    // Asked before the range request and before each block: true stops the update quietly.
    virtual bool StopRequested() = 0;
    // After each block: the progress in thousandths, truncated, so the last block leaves it
    // one block short of full.
    virtual void Progress(int thousandths) = 0;
};

// Where the progress stands after block `block` of `blocks`.
int UpdateProgress(std::size_t block, std::size_t blocks);

class TUpdateSession {
public:
    // `info` is the device's, as `client` stores its replies: the page count it holds when the
    // update starts is what both range requests carry, whatever replies come meanwhile.
    TUpdateSession(TDeviceLink& link, TBootloaderClient& client, TDeviceInfo& info);

    // Writes every whole block of `image`; a shorter rest stays here. Whether the image fits the
    // device is its caller's to check (ImageFits), before anything is sent. The image must stay
    // valid until Run returns. Once the begin request went out, the device's checksums and
    // firmware version in `info` are those the update's last two requests reported, or not
    // known: the values from before describe a flash that has since been rewritten. Only
    // checksums reported then, and equal, make the update succeed.
    TUpdateOutcome Run(std::span<const std::uint8_t> image, IUpdateObserver& observer);

private:
    // The update goes on, or has ended with this outcome.
    using TGoOn = TResult<void, TUpdateOutcome>;

    // Begin and prepare the range; every block; finish, end and read the result back.
    TGoOn Begin(IUpdateObserver& observer);
    TGoOn WriteBlocks(std::span<const std::uint8_t> image, IUpdateObserver& observer);
    TUpdateOutcome Finish(IUpdateObserver& observer);
    // The whole road from the begin request on.
    TUpdateOutcome Write(std::span<const std::uint8_t> image, IUpdateObserver& observer);
    // Keeps what a read-back reply reports of the flash as written.
    void ReadBack(const TReplyValue& value);
    // One exchange, unless the device went away since the update began.
    template <typename TExchangeCall> auto Step(TExchangeCall&& exchange);
    TGoOn Stopped() const;
    TUpdateOutcome Failed(TUpdateStep step, TExchangeError error, std::size_t block = 0);

    TDeviceLink& Link;
    TBootloaderClient& Client;
    TDeviceInfo& Info;
    std::size_t Written = 0;
    std::uint32_t Session = 0;   // the link's open count when the update began
    std::uint32_t PageCount = 0; // what both range requests carry
    std::optional<TChecksums> FreshChecksums;
    std::optional<std::string> FreshVersion;
};

} // namespace qor
