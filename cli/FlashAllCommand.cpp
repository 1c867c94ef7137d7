// flash --all: the devices listed at the start are taken, each on its own view of the port
// with its own connection monitor; their bootloaders are waited for in one loop, as the
// window's serial timer ticks; the image is the file, or one download per variant present;
// then every device is written on a thread of its own, and a summary ends the run.
#include <map>
#include <thread>

#include "base/Windows1252.h"
#include "cli/CommandRun.h"
#include "cli/DeviceRows.h"
#include "cli/Format.h"
#include "cli/ResultEvent.h"
#include "cli/RowDisplays.h"
#include "device/DeviceLink.h"
#include "device/SharedPort.h"
#include "presenter/DeviceSummary.h"
#include "presenter/MainView.h"
#include "presenter/ServiceRecord.h"

namespace qor::cli {
namespace {

// A device of the run: its own view of the shared port and its own monitor.
struct TBenchDevice {
    std::unique_ptr<IDevicePort> View;
    std::unique_ptr<TDeviceConnector> Connector;
    std::unique_ptr<IReporter> Report;
};

// The line a person reads of a run-wide step, as the single flash shows it.
TEvent ImageEvent(const TCheckedImage& image, std::uint8_t language) {
    const std::string version = Windows1252ToUtf8(image.Image.Version());
    return TEvent{"image",
                  {std::string(Txt(TxtFirmwareLoaded, language)) + " " +
                   ShownFileName(image.Source) + " " + version},
                  {},
                  false};
}

} // namespace

TStep<std::vector<std::string>> TCommandRun::TakeDevices() {
    const TMs deadline = Services.Clock.Now() + Options.Wait;
    std::vector<std::string> ports;
    bool toldWaiting = false;
    for (;;) {
        ports.clear();
        for (const TPortEntry& entry : Services.Port.List()) {
            if (IsDevicePort(entry, std::nullopt)) {
                ports.push_back(entry.Name);
            }
        }
        const bool enough = Options.Expect ? ports.size() >= *Options.Expect : !ports.empty();
        if (enough || Services.Clock.Now() >= deadline) {
            break;
        }
        if (Services.Interrupted && Services.Interrupted()) {
            return Fail(
                TReported{Finish(TExit::Interrupted, TEvent{"", {Text(TxtCancelled)}, {}, true})});
        }
        if (!toldWaiting) {
            std::string text =
                std::string(Text(TxtNotConnected)) + " - waiting " + SecondsText(Options.Wait);
            if (Options.Expect) {
                text += " for " + std::to_string(*Options.Expect) + " devices";
            }
            TEvent event{"waiting", {text}, {}, false};
            event.Fields.Add("seconds", static_cast<std::int64_t>(Options.Wait.count() / 1000));
            Report.Event(event);
            toldWaiting = true;
        }
        Services.Clock.Sleep(MonitorTickInterval);
    }
    if (Options.Expect && ports.size() != *Options.Expect) {
        std::string found;
        for (const std::string& port : ports) {
            found += (found.empty() ? " (" : ", ") + port;
        }
        const std::string reason = std::to_string(ports.size()) + " devices found" +
                                   (found.empty() ? "" : found + ")") + ", " +
                                   std::to_string(*Options.Expect) + " expected";
        TEvent event{"", {reason}, {}, true};
        event.Fields.Add("reason", reason).Add("found", static_cast<std::int64_t>(ports.size()));
        event.Fields.Add("expected", static_cast<std::int64_t>(*Options.Expect));
        return Fail(TReported{Finish(TExit::DeviceCount, std::move(event))});
    }
    if (ports.empty()) {
        std::string reason = Services.Port.Unavailable();
        if (reason.empty()) {
            reason = std::string("no device with the description \"") + DeviceDescription + "\"";
        }
        TEvent event{"", {Text(TxtNotConnected), reason}, {}, true};
        event.Fields.Add("reason", reason);
        return Fail(TReported{Finish(TExit::NoDevice, std::move(event))});
    }
    return ports;
}

int TCommandRun::FlashAll() {
    const std::uint8_t language = Language();
    std::optional<TCheckedImage> local;
    if (!Options.Download) {
        auto loaded = LocalImage();
        if (!loaded) {
            return loaded.Error().Exit;
        }
        local = std::move(loaded.Value());
        if (!Options.Json) {
            Report.Event(ImageEvent(*local, language));
        }
    }
    const auto ports = TakeDevices();
    if (!ports) {
        return ports.Error().Exit;
    }

    // A person reads the rows; a script reads each row's events with its port.
    const bool inPlace = Services.InPlaceLines && ports->size() < Services.TerminalRows;
    const std::unique_ptr<IRowDisplay> display =
        Options.Json ? MakeNoLines()
                     : (inPlace ? MakeInPlaceLines(Services.Out, Services.TerminalColumns)
                                : MakeLogLines(Services.Out));
    // As the window's status line says it while it waits for the bootloader.
    const std::string connecting = std::string(Text(TxtConnecting)) + "...";
    TDeviceRows rows(*ports, connecting, *display, Options.Json ? &Report : nullptr,
                     Services.Clock);
    TSharedPort shared(Services.Port);
    std::vector<TBenchDevice> devices(ports->size());
    const auto fail = [&](std::size_t i, int exit, TEvent event) {
        ReportResult(*devices[i].Report, exit, std::move(event));
        rows.Finish(i, exit, UnknownValue);
    };
    const auto cancel = [&](std::size_t i) {
        fail(i, ExitCode(TExit::Interrupted), TEvent{"", {Text(TxtCancelled)}, {}, true});
    };
    const auto interrupted = [this] {
        return Services.Interrupted && Services.Interrupted();
    };

    // The bootloaders, each given its time, in one loop as the window's timer ticks.
    for (std::size_t i = 0; i < devices.size(); ++i) {
        devices[i].View = shared.View();
        devices[i].Connector = std::make_unique<TDeviceConnector>(*devices[i].View, Services.Clock,
                                                                  Services.Interrupted);
        devices[i].Report = rows.Reporter(i);
        devices[i].Connector->Begin((*ports)[i], TMs{0});
    }
    std::vector<bool> connected(devices.size(), false);
    for (bool waiting = true; waiting;) {
        waiting = false;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (rows.Finished(i) || connected[i]) {
                continue;
            }
            if (interrupted()) {
                cancel(i);
                continue;
            }
            const auto outcome = devices[i].Connector->Tick();
            if (!outcome) {
                waiting = true;
            } else if (outcome->Ok()) {
                connected[i] = true;
                const TDeviceInfo& info = devices[i].Connector->Monitor().Info();
                rows.Connected(i, info,
                               std::string(Text(TxtConnected)) + " - " + Text(TxtFirmwareVersion) +
                                   ": " + SummariseDevice(info).FirmwareVersion);
                devices[i].Report->Event(
                    TEvent{"device",
                           {std::string(Text(TxtConnected)) + " (" + (*ports)[i] + ")"},
                           {},
                           false});
            } else {
                const std::string reason = NotConnectedReason(outcome->Error());
                TEvent event{"", {Text(TxtNotConnected), reason}, {}, true};
                event.Fields.Add("reason", reason);
                fail(i, ExitCode(TExit::NoDevice), std::move(event));
            }
        }
        rows.Refresh();
        if (waiting) {
            Services.Clock.Sleep(MonitorTickInterval);
        }
    }

    // The image of each device: the file, or the download for its variant, once per variant.
    std::map<std::string, TResult<TCheckedImage, TFailed>> downloads;
    std::vector<const TCheckedImage*> images(devices.size(), local ? &*local : nullptr);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (rows.Finished(i) || local) {
            continue;
        }
        const TVariantKind kind = ConnectedVariant(devices[i].Connector->Monitor())->Kind();
        const std::string path = DownloadPathOf(kind);
        auto found = downloads.find(path);
        if (found == downloads.end()) {
            rows.Detach(); // the download's own progress goes below the rows
            found = downloads.emplace(path, FetchChecked(kind)).first;
            if (found->second && !Options.Json) {
                Report.Event(ImageEvent(*found->second, language));
            }
        }
        if (found->second) {
            images[i] = &*found->second;
        } else {
            fail(i, found->second.Error().Exit, found->second.Error().Event);
        }
    }

    // Every device at once, each on a thread of its own.
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (rows.Finished(i)) {
            continue;
        }
        if (interrupted()) {
            cancel(i);
            continue;
        }
        workers.emplace_back([&, i] {
            const TDeviceUpdateEnd end =
                UpdateDevice(devices[i].Connector->Monitor(), *images[i], Options.PowerOffAfter,
                             language, Services, *devices[i].Report);
            rows.Finish(i, end.Exit, end.FirmwareAfter);
        });
    }
    rows.WaitForAll(MonitorTickInterval);
    for (std::thread& worker : workers) {
        worker.join();
    }

    const TSummary summary = Summarise(rows.Rows());
    TEvent event{"summary", summary.Lines, {}, false};
    event.Fields.Add("exit", summary.Exit).Add("outcome", OutcomeName(summary.Exit));
    event.Fields.Merge(summary.Fields);
    if (Options.Json) {
        event.Lines = {summary.Lines.back()};
    } else {
        event.Lines.insert(event.Lines.begin(), ""); // set off from the rows above
    }
    Report.Event(event);
    return summary.Exit;
}

} // namespace qor::cli
