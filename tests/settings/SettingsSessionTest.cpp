// The settings session both front ends use: what the store has to say is told once, in its
// order, and a store another program holds locked is read again for as long as the user asks.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "base/TextTable.h"
#include "qortest/MemoryRegistry.h"
#include "qortest/RegValues.h"
#include "settings/SettingsSession.h"

using namespace qor;
using qor::test::Dword;
using qor::test::TMemoryRegistry;

namespace {

// Remembers what it was told, as "notice <file>" and "read again ok|<value>", and answers the
// questions in order (no once the answers are used up).
class TToldNotices : public IStoreNotices {
public:
    bool Tell(const TStoreNotice& notice) override {
        Told.push_back("notice " + notice.Failure.Location);
        if (OnTell) {
            OnTell();
        }
        if (Answers.empty()) {
            return false;
        }
        const bool answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ReadAgain(const TResult<void, TStoreError>& loaded) override {
        Told.push_back("read again " + (loaded ? std::string("ok") : loaded.Error().ValueName));
    }

    std::vector<std::string> Told;
    std::deque<bool> Answers;
    std::function<void()> OnTell;
};

TStoreNotice SetAside(const std::string& file) {
    return {TStoreNotice::TKind::SetAside, {file, TStoreCause::Damaged, "", true}, file + ".old"};
}

class SettingsSessionTest : public ::testing::Test {
protected:
    TMemoryRegistry Registry;
    TSettings Settings;
    TSettingsSession Session{Registry, Settings};
    TToldNotices Notices;

    std::map<std::string, TRegValue>& Key() { return Registry.Keys[SettingsKeyPath]; }
    void LockStore() {
        Registry.ReadFailure = TStoreFailure{"settings.reg", TStoreCause::LockHeld, "", true};
    }
};

} // namespace

TEST_F(SettingsSessionTest, NoticesAreToldOnceInTheirOrderAndOnlyALockIsReadAgain) {
    Registry.Notices = {SetAside("a.reg"), SetAside("b.reg")};
    ASSERT_TRUE(Session.Load());
    EXPECT_TRUE(Notices.Told.empty()); // the load tells nothing by itself
    Notices.Answers = {true, true};    // a yes where nothing can be read again changes nothing
    Session.TellNotices(Notices);
    EXPECT_EQ(Notices.Told, (std::vector<std::string>{"notice a.reg", "notice b.reg"}));
    Session.TellNotices(Notices);
    EXPECT_EQ(Notices.Told.size(), 2u);
}

TEST_F(SettingsSessionTest, ALockedStoreIsReadAgainWhileTheUserAsks) {
    Key()["Language"] = Dword(LangFrench);
    LockStore();
    ASSERT_TRUE(Session.Load());
    EXPECT_EQ(Settings.CfgLanguage, LangEnglish);
    // Still locked at the first read again, free at the second; then no more questions.
    Notices.Answers = {true, true};
    int told = 0;
    Notices.OnTell = [&] {
        if (++told == 2) {
            Registry.ReadFailure.reset();
        }
    };
    Session.TellNotices(Notices);
    EXPECT_EQ(Notices.Told, (std::vector<std::string>{"notice settings.reg", "read again ok",
                                                      "notice settings.reg", "read again ok"}));
    EXPECT_EQ(Settings.CfgLanguage, LangFrench);
    EXPECT_EQ(Key().size(), 7u); // once it could be read, the values it lacked were given
}

TEST_F(SettingsSessionTest, AReadAgainThatFailsIsHandedOverAndNotAskedAgain) {
    Key()["Language"] = Dword(LangFrench);
    Key()["UseProxy"] = TRegValue{RegType::Sz, {'1', 0}};
    LockStore();
    ASSERT_TRUE(Session.Load());
    Notices.Answers = {true};
    Notices.OnTell = [this] {
        Registry.ReadFailure.reset();
    };
    Session.TellNotices(Notices);
    EXPECT_EQ(Notices.Told,
              (std::vector<std::string>{"notice settings.reg", "read again UseProxy"}));
    EXPECT_EQ(Settings.CfgLanguage, LangFrench); // read before the failing value
}

TEST_F(SettingsSessionTest, ASaveTellsWhatTheStoreHasToSayAndReturnsItsFailure) {
    ASSERT_TRUE(Session.Load());
    Registry.Notices = {SetAside("a.reg")};
    Registry.FailingWrites = {"ProxyServer"};
    Settings.CfgProxyServer = "proxy.lan";
    const auto saved = Session.Save(Notices);
    ASSERT_FALSE(saved);
    EXPECT_EQ(saved.Error().Kind, TStoreError::TKind::SetDataFailed);
    EXPECT_EQ(saved.Error().ValueName, "ProxyServer");
    EXPECT_EQ(Notices.Told, (std::vector<std::string>{"notice a.reg"}));
}
