// The observer a test hands a transfer: keeps what it heard, counts the questions (where a
// window would serve its events), runs what the test plans at each and cancels when told to.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "download/FirmwareDownload.h"

namespace qor::test {

struct TDownloadWatch : IDownloadObserver {
    // Whether the head of the response has come, and the bytes and length heard since.
    bool ResponseCame = false;
    std::uint32_t ReceivedBytes = 0;
    std::optional<std::uint32_t> Total;
    int Questions = 0;
    // Runs at each question, before the answer.
    std::function<void()> OnQuestion;
    bool Cancel = false;

    void Received(std::uint32_t bytes, std::optional<std::uint32_t> total) override {
        ResponseCame = true;
        ReceivedBytes = bytes;
        Total = total;
    }
    bool CancelRequested() override {
        ++Questions;
        if (OnQuestion) {
            OnQuestion();
        }
        return Cancel;
    }
};

} // namespace qor::test
