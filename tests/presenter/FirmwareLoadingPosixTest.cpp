// Files a Linux user can pick in the open dialog that are not files at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "base/TextTable.h"
#include "presenter/FirmwareLoading.h"
#include "qortest/ImageFiles.h"
#include "qortest/RecordingMessageBox.h"

namespace qor {
namespace {

TEST(FirmwareLoadingPosix, AFifoOrADeviceIsAnInvalidFileAndNeverHoldsTheWindow) {
    test::TTempDir dir;
    const std::string fifo = (dir.Path / "fifo.bin").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    TMainModel model;
    test::TRecordingMessageBox messages;
    const auto device = TDeviceVariant::FromGeometry(512, 124);
    // Nobody writes to the FIFO and /dev/zero never ends: neither may be waited on.
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        messages.Shown.clear();
        EXPECT_FALSE(OpenLocalFirmware(path, device, model, LangEnglish, messages));
        EXPECT_THAT(messages.Shown, ::testing::ElementsAre(test::TShownMessage{
                                        "Ungültige Firmware-Datei!", "Fehler"}));
    }
}

} // namespace
} // namespace qor
