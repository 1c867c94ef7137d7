#include "flow/ServiceRecord.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "flow/ServiceLogRecorder.h"
#include "flow/ServiceReport.h"
#include "qortest/ScratchDir.h"
#include "qortest/UpdateHarness.h"

namespace qor {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class TRecorded : public IServiceRecorder {
public:
    TResult<void> Record(const TServiceRecord& record) override {
        Records.push_back(record);
        return {};
    }
    std::vector<TServiceRecord> Records;
};

class ServiceRecordTest : public test::TUpdateHarness {
protected:
    TUpdateResult UpdateRecorded() {
        TUpdateRun run(State, Monitor, Host, Messages, &Recorded);
        Outcome = run.Run(Language);
        return Outcome.Result;
    }
    TRecorded Recorded;
};

TEST_F(ServiceRecordTest, ASuccessfulUpdateIsRecordedWithBothSidesOfIt) {
    Connect();
    Load(MakeFirmwareImage(63488, "1.5a"));
    State.FWFilename = "qor-7316.bin";
    State.FWSource = "http://firmware.example:80/qor-7316-a.bin";
    ASSERT_EQ(UpdateRecorded(), TUpdateResult::Succeeded);
    ASSERT_EQ(Recorded.Records.size(), 1u);
    const TServiceRecord& record = Recorded.Records[0];
    EXPECT_EQ(record.Before.DeviceFWVersion, "1.0a");
    EXPECT_EQ(record.After.DeviceFWVersion, "1.5a");
    EXPECT_EQ(record.ImageSize, 63488u);
    EXPECT_EQ(record.Port, "VQ0");
    EXPECT_EQ(record.Serial, "VQ731600");

    const std::string text = FormatServiceRecord(record);
    EXPECT_THAT(text, HasSubstr("device    variant a (512 x 124), bootloader 1.3, port VQ0, "
                                "serial VQ731600\n"));
    EXPECT_THAT(text, HasSubstr("before    firmware 1.0a, checksum valid"));
    EXPECT_THAT(text, HasSubstr("image     qor-7316.bin, version 1.5a, 63488 bytes, CRC 0x"));
    EXPECT_THAT(text, HasSubstr("from      http://firmware.example:80/qor-7316-a.bin"));
    EXPECT_THAT(text, HasSubstr("outcome   succeeded, exit 0\n"));
    EXPECT_THAT(text, HasSubstr("after     firmware 1.5a, checksum valid"));
    EXPECT_THAT(text, Not(HasSubstr("attempt"))) << "one attempt is all the window makes";

    // The same facts for a collector, on one line.
    const std::string json = FormatServiceRecordJson(record);
    EXPECT_THAT(json, testing::StartsWith(R"({"time":")"));
    EXPECT_THAT(json, HasSubstr(R"("port":"VQ0","serial":"VQ731600","variant":"a",)"
                                R"("bootloader_version":"1.3","firmware_before":"1.0a",)"
                                R"("checksums_before":"valid","firmware_after":"1.5a",)"
                                R"("checksums_after":"valid","image":"qor-7316.bin",)"
                                R"("image_version":"1.5a","image_size":63488,"image_crc":"0x)"));
    EXPECT_THAT(json, HasSubstr(R"("source":"http://firmware.example:80/qor-7316-a.bin",)"
                                R"("outcome":"succeeded","exit":0,"attempt":1,"attempts":1,)"
                                R"("seconds":)"));
    EXPECT_THAT(json, testing::EndsWith("}\n"));
    EXPECT_EQ(json.find('\n'), json.size() - 1);
}

// An update that did not end well: its outcome with the exit and the reason, and an "after"
// line that never claims the firmware from before (1.0a), which the flash no longer holds.
struct TEndCase {
    const char* Name;
    std::optional<TFault> Fault;
    bool StopAfterBlock5;
    const char* Outcome;
    const char* After;
};

void PrintTo(const TEndCase& c, std::ostream* out) {
    *out << c.Name;
}

class ServiceRecordEnd : public ServiceRecordTest,
                         public ::testing::WithParamInterface<TEndCase> {};

TEST_P(ServiceRecordEnd, NamesTheOutcomeAndOnlyWhatWasReadAfterIt) {
    const TEndCase& c = GetParam();
    Connect();
    Load(MakeFirmwareImage(63488, "1.5a"));
    if (c.Fault) {
        Device->Faults.Add(*c.Fault);
    }
    Host.OnPump = [this, &c](int pump) {
        State.CloseConfirmed = c.StopAfterBlock5 && pump == 5 + 4;
    };
    (void)UpdateRecorded();
    ASSERT_EQ(Recorded.Records.size(), 1u);
    const std::string text = FormatServiceRecord(Recorded.Records[0]);
    EXPECT_THAT(text, HasSubstr(std::string("outcome   ") + c.Outcome));
    const std::size_t at = text.find("  after     ");
    ASSERT_NE(at, std::string::npos);
    const std::string after = text.substr(at, text.find('\n', at) - at);
    EXPECT_THAT(after, HasSubstr(c.After));
    EXPECT_THAT(after, Not(HasSubstr("1.0a")));
    // Nor does the same record for a collector.
    EXPECT_THAT(FormatServiceRecordJson(Recorded.Records[0]),
                Not(HasSubstr(R"("firmware_after":"1.0a")")));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ServiceRecordEnd,
    ::testing::Values(
        TEndCase{"FailedAtABlock", TFault::OnBlock(17, TFaultKind::AnswerCode13), false,
                 "failed at 2:17 (refused with code 13)",
                 "not read (the update did not finish; the flash may hold part of the image)"},
        TEndCase{"StoppedByTheUser", std::nullopt, true, "stopped by the user after 6 blocks",
                 "not read (the update was stopped; the flash may hold part of the image)"},
        TEndCase{"FailedAtTheVersionRequest",
                 TFault::OnCode(CmdGetFirmwareVersion, TFaultKind::AnswerCode13), false,
                 "failed at 6 (refused with code 13)",
                 "firmware not reported, checksum valid (0x"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A device that already ran the image, on a later attempt of a command line's run, behind a
// bridge without a serial number.
TEST(ServiceRecordText, SaysAlreadyCurrentTheAttemptAndABridgeWithoutSerial) {
    TServiceRecord record;
    record.Port = "ttyUSB3";
    record.Before.DeviceFWVersion = "1.6a";
    record.Current = true;
    record.Attempt = 2;
    record.Attempts = 3;
    const std::string text = FormatServiceRecord(record);
    EXPECT_THAT(text, HasSubstr(", port ttyUSB3, serial none\n"));
    EXPECT_THAT(text, HasSubstr("outcome   already current, nothing sent, exit 0\n"));
    EXPECT_THAT(text, HasSubstr("attempt   2 of 3\n"));
    EXPECT_THAT(text, HasSubstr("after     unchanged, nothing was sent\n"));
    const std::string json = FormatServiceRecordJson(record);
    EXPECT_THAT(json, HasSubstr(R"("port":"ttyUSB3","serial":null,)"));
    EXPECT_THAT(json, HasSubstr(R"("firmware_after":"1.6a",)"));
    EXPECT_THAT(json, HasSubstr(R"("outcome":"already current, nothing sent","exit":0,)"
                                R"("attempt":2,"attempts":3,)"));
}

TEST_F(ServiceRecordTest, ARefusedImageIsRecordedThoughNothingWasSent) {
    Connect();
    Load(MakeFirmwareImage(63488, "1.5b"));
    ASSERT_EQ(UpdateRecorded(), TUpdateResult::Refused);
    ASSERT_EQ(Recorded.Records.size(), 1u);
    EXPECT_THAT(FormatServiceRecord(Recorded.Records[0]),
                HasSubstr("refused, nothing sent (the image is not made for this device "
                          "variant)"));
    EXPECT_THAT(FormatServiceRecord(Recorded.Records[0]),
                HasSubstr("after     unchanged, nothing was sent"));
    EXPECT_THAT(FormatServiceRecordJson(Recorded.Records[0]),
                HasSubstr(R"("firmware_after":"1.0a",)"));
}

TEST(ServiceRecordTime, IsUtcToTheSecond) {
    using namespace std::chrono;
    const sys_days day = year{2026} / December / 7;
    EXPECT_EQ(FormatUtc(day + hours{14} + minutes{3} + seconds{11} + milliseconds{900}),
              "2026-12-07T14:03:11Z");
}

TEST(ServiceReport, CarriesTheFactsAndTheLogButNoCredentials) {
    TReportInput input;
    input.System = "Linux 6.1 x86_64";
    input.PortFacts = {"tty back-end over /sys and /dev",
                       "ttyUSB0: \"QOR 7316\", serial FT7316A1, latency timer 1 ms"};
    input.LogPath = "/home/t/.local/state/qor7316-updater/service.log";
    input.LogText = "2026-12-07T14:03:11Z  record\n";
    std::string report = ComposeServiceReport(input);
    EXPECT_THAT(report, HasSubstr("System:   Linux 6.1 x86_64"));
    EXPECT_THAT(report, HasSubstr("  ttyUSB0: \"QOR 7316\", serial FT7316A1, latency timer 1 ms"));
    EXPECT_THAT(report, HasSubstr("Device:   not connected"));
    TDeviceInfo device;
    device.BootVersion = TBootVersion{1, 3};
    device.PageCount = 124;
    device.PageSize = 512;
    device.DeviceChecksums = TChecksums{7, 7};
    device.DeviceFWVersion = "1.4a";
    input.Device = device;
    input.DevicePort = "ttyUSB0";
    input.DeviceSerial = "FT7316A1";
    report = ComposeServiceReport(input);
    EXPECT_THAT(report,
                HasSubstr("Device:   connected on port ttyUSB0, serial FT7316A1, variant a"));
    EXPECT_THAT(report, HasSubstr("2026-12-07T14:03:11Z  record"));
    EXPECT_THAT(report, Not(HasSubstr("Proxy")));
}

// Several devices updated at once share one recorder; none of their records may be lost, so
// the log's lock must keep out the process's other threads too.
TEST(ServiceLogRecorder, RecordsFromSeveralThreadsAllArriveWhole) {
    test::TScratchDir scratch;
    TServiceLogRecorder recorder{TServiceLog(scratch.Path() + "/log")};
    constexpr int PerThread = 25;
    const auto recordAll = [&recorder](const std::string& port) {
        for (int k = 0; k < PerThread; ++k) {
            TServiceRecord record;
            record.Port = port;
            record.ImageName = "image-" + std::to_string(k) + ".bin";
            const auto recorded = recorder.Record(record);
            EXPECT_TRUE(recorded.Ok()) << recorded.Error().Reason;
        }
    };
    std::thread first(recordAll, "PORT-A");
    std::thread second(recordAll, "PORT-B");
    first.join();
    second.join();

    const auto log = recorder.ServiceLog().ReadAll();
    ASSERT_TRUE(log.Ok()) << log.Error().Reason;
    const auto count = [&text = *log](const std::string& part) {
        int found = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
            ++found;
        }
        return found;
    };
    EXPECT_EQ(count(", port PORT-A, serial none\n"), PerThread);
    EXPECT_EQ(count(", port PORT-B, serial none\n"), PerThread);
    EXPECT_EQ(count("  image     image-7.bin,"), 2);
    // Each also as a line of its own in the JSON log.
    std::ifstream json(recorder.ServiceLog().JsonPath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(json, line);) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines.size(), std::size_t{2} * PerThread);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& line) {
                                return line.find(R"("port":"PORT-A")") != std::string::npos &&
                                       line.back() == '}';
                            }),
              PerThread);
}

} // namespace
} // namespace qor
