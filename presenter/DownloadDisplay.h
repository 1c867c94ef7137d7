// The download dialog's model: its own state around the one transfer it runs (started, busy,
// waiting for the response, running), the progress it last heard, the outcome, and what its
// status label, bar and button show. The dialog runs the transfer between Begin() and End()
// with this as its observer, and copies View() onto its widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download/FirmwareDownload.h"
#include "firmware/DeviceVariant.h"

namespace qor {

// The progress bar's range is 0 to this.
inline constexpr int ProgressMaximum = 1000;

struct TDownloadView {
    std::string LStatus;
    int PBFWProgress = 0;
    std::string BCancel; // empty until the first display tick
    // Why the transfer failed, in the failing layer's words, for whoever looks closer.
    std::string LStatusTip;
    bool operator==(const TDownloadView&) const = default;
};

// Bytes as kilobytes of 1000 bytes with exactly one decimal, rounded half up: "12.5".
std::string FormatKilobytes(std::uint32_t bytes, const std::string& decimalSeparator);

class TDownloadDisplay final : public IDownloadObserver {
public:
    // `serveEvents` runs the dialog's pending events (its timers, its button, its close box)
    // whenever the transfer asks whether to cancel.
    explicit TDownloadDisplay(std::function<void()> serveEvents);

    // Whose image is fetched: "other" until the main window sets its device's variant.
    TVariantKind DeviceVariant = TVariantKind::Other;

    // The start timer's tick: true the first time only, when the transfer is to run.
    bool Start();
    // Before the transfer: nothing heard yet, so the status reads "connecting".
    void Begin();
    // After it: its outcome is kept, and the transfer is no longer busy.
    void End(TDownloadResult outcome);

    // The display timer's tick: the status text and bar while the transfer runs or once it
    // has succeeded, left alone otherwise; the button reads Cancel while busy.
    // `decimalSeparator` is the user's locale's.
    void Tick(std::uint8_t language, const std::string& decimalSeparator);
    // The transfer's own steps: "Connecting..." until the response has come, the failure's
    // text once it has ended without an image; the view is left alone otherwise.
    void ShowStep(std::uint8_t language);

    // The Cancel button: stops a busy transfer; true when it closes the dialog instead.
    bool CancelClick();
    // Whether the dialog may close now: never while busy. Closing while the transfer unwinds
    // after a cancel is put off until it has ended (TakeCloseRequest).
    bool CloseQuery();
    // A close put off until the transfer's end, once.
    bool TakeCloseRequest();

    // The image, handed on once to the main window; none unless the transfer succeeded.
    std::optional<TDownloadedImage> TakeImage();

    void Received(std::uint32_t bytes, std::optional<std::uint32_t> total) override;
    // Serves the dialog's events first, then answers: the first question comes before the
    // transfer connects, and from then on it is busy.
    bool CancelRequested() override;

    const TDownloadView& View() const { return Shown; }
    bool Started() const { return WasStarted; }
    // A transfer is in progress; Cancel clears it to ask the transfer to stop.
    bool Busy() const { return IsBusy; }
    // The transfer is running (it may outlive Busy after a Cancel).
    bool Running() const { return IsRunning; }
    // The transfer is between its start and the arrival of the response.
    bool AwaitingResponse() const { return Awaiting; }
    std::uint32_t ReceivedBytes() const { return Bytes; }
    // The image the transfer brought and still held here; nullptr otherwise.
    const TDownloadedImage* Downloaded() const;
    bool DownloadOK() const { return Outcome && Outcome->Ok(); }
    // What happened to a transfer that failed, for whoever looks closer.
    std::string FailureDetail() const;

private:
    std::function<void()> ServeEvents;
    bool WasStarted = false;
    bool IsBusy = false;
    bool IsRunning = false;
    bool Awaiting = false;
    bool Asked = false; // the transfer has asked its first question
    bool CloseRequested = false;
    std::uint32_t Bytes = 0;
    std::optional<std::uint32_t> Total; // none while the length is not known
    std::optional<TDownloadResult> Outcome;
    TDownloadView Shown;
};

} // namespace qor
