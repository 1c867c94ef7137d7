// The main window's "Save service report..." item: the report written to a file of the user's.
#include <QFileDialog>

#include "base/FixedTexts.h"
#include "base/TextTable.h"
#include "flow/ServiceReport.h"
#include "gui/TMainForm.h"
#include "platform/SystemInfo.h"
#include "platform/TempDir.h"

using namespace qor;

namespace {

constexpr const char* ReportFileName = "qor7316-service-report.txt";

} // namespace

void TMainForm::MServiceReportClick() {
    const std::uint8_t lang = Cfg.CfgLanguage;
    QString path;
    if (Services.ChooseReportFile) {
        path = Services.ChooseReportFile(this);
    } else {
        path = QFileDialog::getSaveFileName(this, QString(), ReportFileName,
                                            QString::fromUtf8(Txt(TxtServiceReportFiles, lang)));
    }
    if (path.isEmpty()) {
        return;
    }
    TReportInput input;
    input.Time = std::chrono::system_clock::now();
    input.System = SystemDescription();
    input.PortFacts = Services.Port.Facts();
    if (Main.BootloaderReady()) {
        input.Device = Main.Device().Info();
    }
    input.DevicePort = Main.Device().Link().PortName();
    input.DeviceSerial = Main.Device().Link().PortSerial();
    const TServiceLog& log = Recorder->ServiceLog();
    input.LogPath = log.Path();
    const auto records = log.ReadAll();
    input.LogText = records ? *records : std::string();
    input.LogError = !records ? records.Error().Reason : Main.State().RecordFailure;

    const std::string report = ComposeServiceReport(input);
    const std::string file = path.toStdString();
    const auto written = WriteFileAtomically(
        file, {reinterpret_cast<const std::uint8_t*>(report.data()), report.size()});
    if (written) {
        Services.Messages.ShowMessage(FillIn(Txt(TxtServiceReportSaved, lang), {file}),
                                      ApplicationTitle);
    } else {
        Services.Messages.ShowMessage(
            FillIn(Txt(TxtServiceReportFailed, lang), {file, written.Error().Reason}),
            Txt(TxtError, lang));
    }
}
