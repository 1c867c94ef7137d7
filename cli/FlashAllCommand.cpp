#include "cli/FlashAllCommand.h"

#include <map>
#include <optional>
#include <thread>

#include "cli/DeviceChoice.h"
#include "cli/DeviceRows.h"
#include "cli/Format.h"
#include "cli/ImageSources.h"
#include "cli/ResultEvent.h"
#include "cli/RowDisplays.h"
#include "device/DeviceLink.h"
#include "device/SharedPort.h"
#include "flow/DeviceSummary.h"
#include "flow/ServiceRecord.h"

namespace qor::cli {
namespace {

// A device of the run: its own view of the shared port and its own monitor.
struct TBenchDevice {
    std::unique_ptr<IDevicePort> View;
    std::unique_ptr<TDeviceConnector> Connector;
    std::unique_ptr<IReporter> Report;
    bool Connected = false;
    const TCheckedImage* Image = nullptr;
};

} // namespace

// The devices of one run and what a person or a script sees of them.
struct TBench {
    TBench(const std::vector<TPortEntry>& ports, const std::string& connecting,
           std::unique_ptr<IRowDisplay> display, IReporter* events, TCliServices& services)
        : Ports(ports), Display(std::move(display)),
          Rows(ports, connecting, *Display, events, services.Clock), Shared(services.Port),
          Devices(ports.size()) {}

    std::vector<TPortEntry> Ports;
    std::unique_ptr<IRowDisplay> Display;
    TDeviceRows Rows;
    TSharedPort Shared;
    std::vector<TBenchDevice> Devices;
    std::map<std::string, TResult<TCheckedImage, TFailed>> Downloads; // by download path
};

TStep<std::vector<TPortEntry>> TFlashAllCommand::WaitForDevices() {
    const TCliOptions& options = Context.Options;
    return Context.AwaitChosenDevices(
        options.Expect.value_or(1), [this, &options](const std::vector<TPortEntry>& found) {
            std::string text = WaitingText(options, found, Context.Language());
            if (options.Expect) {
                text += " for " + std::to_string(*options.Expect) + " devices";
            }
            TEvent event{"waiting", {text}, {}, false};
            event.Fields.Add("seconds", static_cast<std::int64_t>(options.Wait.count() / 1000));
            return event;
        });
}

TStep<std::vector<TPortEntry>> TFlashAllCommand::TakeDevices() {
    const TCliOptions& options = Context.Options;
    auto waited = WaitForDevices();
    if (!waited) {
        return waited;
    }
    const std::vector<TPortEntry>& ports = *waited;
    // A unit asked for by its serial number that is not there is named, whatever else is.
    if (const auto missing = MissingSerials(options, ports);
        !missing.empty() && Context.Services.Port.Unavailable().empty()) {
        const std::string reason = MissingSerialsReason(missing);
        TEvent event{"", {Context.Text(TxtNotConnected), reason}, {}, true};
        event.Fields.Add("reason", reason);
        return Fail(TReported{Context.Finish(TExit::NoDevice, std::move(event))});
    }
    if (options.Expect && ports.size() != *options.Expect) {
        std::string found;
        for (const TPortEntry& port : ports) {
            found += (found.empty() ? " (" : ", ") + port.Name;
        }
        const std::string reason = std::to_string(ports.size()) + " devices found" +
                                   (found.empty() ? "" : found + ")") + ", " +
                                   std::to_string(*options.Expect) + " expected";
        TEvent event{"", {reason}, {}, true};
        event.Fields.Add("reason", reason).Add("found", static_cast<std::int64_t>(ports.size()));
        event.Fields.Add("expected", static_cast<std::int64_t>(*options.Expect));
        return Fail(TReported{Context.Finish(TExit::DeviceCount, std::move(event))});
    }
    if (ports.empty()) {
        const std::string reason = Context.NotConnectedReason(TConnectError{});
        TEvent event{"", {Context.Text(TxtNotConnected), reason}, {}, true};
        event.Fields.Add("reason", reason);
        return Fail(TReported{Context.Finish(TExit::NoDevice, std::move(event))});
    }
    return waited;
}

void TFlashAllCommand::FailRow(TBench& bench, std::size_t row, int exit, TEvent event) {
    ReportResult(*bench.Devices[row].Report, exit, std::move(event));
    bench.Rows.Finish(row, TDeviceUpdateEnd{exit, UnknownValue, false, 0}); // never attempted
}

bool TFlashAllCommand::StopRow(TBench& bench, std::size_t row) {
    if (!Context.Services.Interrupted || !Context.Services.Interrupted()) {
        return false;
    }
    FailRow(bench, row, ExitCode(TExit::Interrupted),
            TEvent{"", {Context.Text(TxtCancelled)}, {}, true});
    return true;
}

namespace {

using TTickOutcome = std::optional<TResult<void, TConnectError>>;

// One tick of each of these devices, all at once: a full query takes a device some
// milliseconds, and a line of 32 asked one after the other would wait for all of them.
std::vector<TTickOutcome> TickAtOnce(TBench& bench, const std::vector<std::size_t>& due) {
    std::vector<TTickOutcome> outcomes(due.size());
    std::vector<std::thread> ticks;
    ticks.reserve(due.size());
    for (std::size_t k = 0; k < due.size(); ++k) {
        ticks.emplace_back([&bench, &outcomes, &due, k] {
            outcomes[k] = bench.Devices[due[k]].Connector->Tick();
        });
    }
    for (std::thread& tick : ticks) {
        tick.join();
    }
    return outcomes;
}

} // namespace

void TFlashAllCommand::ConnectAll(TBench& bench) {
    for (std::size_t i = 0; i < bench.Devices.size(); ++i) {
        TBenchDevice& device = bench.Devices[i];
        device.View = bench.Shared.View();
        device.Connector = std::make_unique<TDeviceConnector>(*device.View, Context.Services.Clock,
                                                              Context.Services.Interrupted);
        device.Report = bench.Rows.Reporter(i);
        device.Connector->Begin(bench.Ports[i].Name, TMs{0});
    }
    for (bool waiting = true; waiting;) {
        std::vector<std::size_t> due;
        for (std::size_t i = 0; i < bench.Devices.size(); ++i) {
            if (!bench.Devices[i].Connected && !bench.Rows.Finished(i) && !StopRow(bench, i)) {
                due.push_back(i);
            }
        }
        const std::vector<TTickOutcome> outcomes = TickAtOnce(bench, due);
        waiting = false;
        for (std::size_t k = 0; k < due.size(); ++k) {
            const std::size_t i = due[k];
            TBenchDevice& device = bench.Devices[i];
            if (!outcomes[k]) {
                waiting = true;
            } else if (outcomes[k]->Ok()) {
                device.Connected = true;
                const TDeviceInfo& info = device.Connector->Monitor().Info();
                bench.Rows.Connected(i, info,
                                     std::string(Context.Text(TxtConnected)) + " - " +
                                         Context.Text(TxtFirmwareVersion) + ": " +
                                         SummariseDevice(info).FirmwareVersion);
                const TPortEntry& port = bench.Ports[i];
                device.Report->Event(TEvent{"device",
                                            {std::string(Context.Text(TxtConnected)) + " (" +
                                             DescribePort(port.Name, port.Serial) + ")"},
                                            {},
                                            false});
            } else {
                const std::string reason = Context.NotConnectedReason(outcomes[k]->Error());
                TEvent event{"", {Context.Text(TxtNotConnected), reason}, {}, true};
                event.Fields.Add("reason", reason);
                FailRow(bench, i, ExitCode(TExit::NoDevice), std::move(event));
            }
        }
        bench.Rows.Refresh();
        if (waiting) {
            Context.Services.Clock.Sleep(MonitorTickInterval);
        }
    }
}

void TFlashAllCommand::DownloadForAll(TBench& bench, std::uint8_t language) {
    for (std::size_t i = 0; i < bench.Devices.size(); ++i) {
        TBenchDevice& device = bench.Devices[i];
        if (bench.Rows.Finished(i)) {
            continue;
        }
        const auto known = KindToFetch(ConnectedVariant(device.Connector->Monitor()));
        if (!known) {
            FailRow(bench, i, known.Error().Exit, known.Error().Event);
            continue;
        }
        const TVariantKind kind = *known;
        auto found = bench.Downloads.find(DownloadPathOf(kind));
        if (found == bench.Downloads.end()) {
            bench.Rows.Detach(); // the download's own progress goes below the rows
            found = bench.Downloads.emplace(DownloadPathOf(kind), FetchCheckedImage(Context, kind))
                        .first;
            if (found->second && !Context.Options.Json) {
                Context.Report.Event(ImageLoadedEvent(*found->second, language));
            }
        }
        if (found->second) {
            device.Image = &*found->second;
        } else {
            FailRow(bench, i, found->second.Error().Exit, found->second.Error().Event);
        }
    }
}

void TFlashAllCommand::WriteAll(TBench& bench, std::uint8_t language) {
    const TCliOptions& options = Context.Options;
    TCliServices& services = Context.Services;
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < bench.Devices.size(); ++i) {
        if (bench.Rows.Finished(i) || StopRow(bench, i)) {
            continue;
        }
        workers.emplace_back([&options, &services, &bench, i, language] {
            TBenchDevice& device = bench.Devices[i];
            TDeviceConnector& connector = *device.Connector;
            const TDeviceUpdatePlan plan{options.PowerOffAfter, options.SkipCurrent,
                                         options.Retries, [&options, &connector] {
                                             return ReconnectSameUnit(connector, options.Wait);
                                         }};
            bench.Rows.Finish(i, UpdateDevice(connector.Monitor(), *device.Image, plan, language,
                                              services, *device.Report));
        });
    }
    bench.Rows.WaitForAll(MonitorTickInterval);
    for (std::thread& worker : workers) {
        worker.join();
    }
}

int TFlashAllCommand::Run() {
    const TCliOptions& options = Context.Options;
    TCliServices& services = Context.Services;
    const std::uint8_t language = Context.Language();
    auto loaded = LocalImage(Context);
    if (!loaded) {
        return loaded.Error().Exit;
    }
    const std::optional<TCheckedImage>& local = loaded.Value();
    if (local && !options.Json) {
        Context.Report.Event(ImageLoadedEvent(*local, language));
    }
    const auto ports = TakeDevices();
    if (!ports) {
        return ports.Error().Exit;
    }

    // A person reads the rows; a script reads each row's events with its port. Rows are
    // redrawn in place only when they all fit on the terminal.
    const bool inPlace = services.InPlaceLines && ports->size() < services.TerminalRows;
    // As the window's status line says it while it waits for the bootloader.
    TBench bench(*ports, std::string(Context.Text(TxtConnecting)) + "...",
                 options.Json ? MakeNoLines()
                              : (inPlace ? MakeInPlaceLines(services.Out, services.TerminalColumns)
                                         : MakeLogLines(services.Out)),
                 options.Json ? &Context.Report : nullptr, services);
    ConnectAll(bench);
    if (local) {
        for (TBenchDevice& device : bench.Devices) {
            device.Image = &*local;
        }
    } else {
        DownloadForAll(bench, language);
    }
    WriteAll(bench, language);

    const TSummary summary = Summarise(bench.Rows.Rows());
    TEvent event{"summary", summary.Lines, {}, false};
    event.Fields.Add("exit", summary.Exit).Add("outcome", OutcomeName(summary.Exit));
    event.Fields.Merge(summary.Fields);
    if (options.Json) {
        event.Lines = {summary.Lines.back()};
    } else {
        event.Lines.insert(event.Lines.begin(), ""); // set off from the rows above
    }
    Context.Report.Event(event);
    return summary.Exit;
}

} // namespace qor::cli
