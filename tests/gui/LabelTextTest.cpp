// Every label of every window shows its whole text in every language: the layouts hold the
// German captions' sizes, and the other languages' captions are often longer.
#include <QLabel>

#include <array>

#include <gtest/gtest.h>

#include "base/TextTable.h"
#include "gui/TFWOnlineForm.h"
#include "gui/TInfoDialog.h"
#include "gui/TMainForm.h"
#include "gui/TProxyForm.h"
#include "qortest/FakeDataProtection.h"
#include "qortest/MemoryRegistry.h"
#include "qortest/RecordingMessageBox.h"
#include "qortest/RegValues.h"
#include "qortest/ScratchDir.h"
#include "settings/SettingsStore.h"
#include "sim/VirtualBus.h"

using namespace qor;

namespace {

// The labels of `window` whose text does not fit them, with their text. A label that wraps
// its words must have the height for its lines, any other the width of its text.
std::vector<std::string> CutLabels(const QWidget& window) {
    std::vector<std::string> cut;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty()) {
            continue;
        }
        const QRect room = label->contentsRect();
        const QFontMetrics metrics(label->font());
        const int flags =
            static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect needed = metrics.boundingRect(room, flags, label->text());
        const bool fits =
            label->wordWrap() ? needed.height() <= room.height() : needed.width() <= room.width();
        if (!fits) {
            cut.push_back(label->objectName().toStdString() + " \"" + label->text().toStdString() +
                          "\" needs " + std::to_string(needed.width()) + "x" +
                          std::to_string(needed.height()) + ", has " +
                          std::to_string(room.width()) + "x" + std::to_string(room.height()));
        }
    }
    return cut;
}

class LabelText : public ::testing::TestWithParam<int> {
protected:
    test::TMemoryRegistry Registry;
    test::TRecordingMessageBox Messages;
    test::TFakeDataProtection Protection;
    TVirtualBus Bus;
    test::TScratchDir Scratch;
    TSettings Settings;

    LabelText() {
        Settings.CfgLanguage = static_cast<std::uint8_t>(GetParam());
        EXPECT_TRUE(TSettingsStore(Registry).Save(Settings));
    }
};

TEST_P(LabelText, TheMainWindowAndItsAboutDialogShowEveryLabelWhole) {
    TMainForm form({Registry,
                    Messages,
                    Bus,
                    Protection,
                    {},
                    {},
                    {},
                    {},
                    {},
                    TServiceLog(Scratch.Path() + "/log")});
    EXPECT_EQ(CutLabels(form), std::vector<std::string>{});
    EXPECT_EQ(CutLabels(form.InfoDialog()), std::vector<std::string>{});
}

TEST_P(LabelText, TheProxyAndDownloadDialogsShowEveryLabelWhole) {
    TProxyForm proxy(
        Settings, Protection, []() -> TResult<void, TStoreError> { return {}; }, Messages);
    EXPECT_EQ(CutLabels(proxy), std::vector<std::string>{});
    TFWOnlineForm download(Settings, Protection, {}, {});
    EXPECT_EQ(CutLabels(download), std::vector<std::string>{});
}

std::string LanguageName(const ::testing::TestParamInfo<int>& info) {
    static const std::array<const char*, 4> Names{"German", "English", "French", "Spanish"};
    return Names.at(static_cast<std::size_t>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Languages, LabelText,
                         ::testing::Values(int{LangGerman}, int{LangEnglish}, int{LangFrench},
                                           int{LangSpanish}),
                         LanguageName);

} // namespace
