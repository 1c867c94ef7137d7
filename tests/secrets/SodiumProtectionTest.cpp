#include <gtest/gtest.h>

#include <algorithm>
#include <sys/wait.h>

#include "platform/PosixFiles.h"
#include "presenter/ProxySettings.h"
#include "qortest/PlatformTestSupport.h"
#include "qortest/RegValues.h"
#include "secrets/SodiumProtection.h"

using namespace qor;
using namespace qor::test;

namespace {

std::u16string Description() {
    return ProxyPasswordDescription;
}

std::vector<std::uint8_t> Plain(const TResult<TSecretBytes>& secret) {
    return secret ? std::vector<std::uint8_t>(secret->View().begin(), secret->View().end())
                  : std::vector<std::uint8_t>{0xDE, 0xAD}; // never a result below
}

class SodiumProtectionTest : public ::testing::Test {
protected:
    TScratchDir Dir;
    std::string KeyDir = Dir / "config/maker";
    std::string KeyFile = KeyDir + "/data-protection.key";
    TSodiumProtection Protection{KeyFile};

    std::vector<std::uint8_t> Protect(const std::vector<std::uint8_t>& plain) {
        auto blob = Protection.Protect(plain, Description());
        EXPECT_TRUE(blob.Ok()) << blob.Error().Reason;
        return blob ? *blob : std::vector<std::uint8_t>{};
    }
};

} // namespace

TEST_F(SodiumProtectionTest, SecretsComeBackExactly) {
    std::vector<std::uint8_t> big(4000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    for (const auto& plain :
         {ZeroTerminated(""), ZeroTerminated("geheim"), big, std::vector<std::uint8_t>{}}) {
        const auto blob = Protect(plain);
        EXPECT_EQ(Plain(Protection.Unprotect(blob)), plain) << plain.size();
    }
    // The description is kept but not checked: any description unprotects the same way.
    const auto other = Protection.Protect(ZeroTerminated("x"), u"");
    ASSERT_TRUE(other.Ok());
    EXPECT_EQ(Plain(Protection.Unprotect(*other)), ZeroTerminated("x"));
}

TEST_F(SodiumProtectionTest, BlobsHideThePasswordAndDifferEachTime) {
    const auto plain = ZeroTerminated("VerySecretProxyPassword");
    const auto first = Protect(plain);
    const auto second = Protect(plain);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::search(first.begin(), first.end(), plain.begin(), plain.end() - 1), first.end());
    const std::u16string text = Description();
    const auto* textBytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::vector<std::uint8_t> description(textBytes, textBytes + text.size() * 2);
    EXPECT_EQ(std::search(first.begin(), first.end(), description.begin(), description.end()),
              first.end());
}

TEST_F(SodiumProtectionTest, AnyAlteredTruncatedOrForeignBlobFails) {
    const auto blob = Protect(ZeroTerminated("geheim"));
    for (std::size_t i = 0; i < blob.size(); ++i) {
        for (std::uint8_t flip : {0x01, 0x80}) {
            auto altered = blob;
            altered[i] ^= flip;
            EXPECT_FALSE(Protection.Unprotect(altered).Ok()) << "byte " << i;
        }
    }
    for (std::size_t size = 0; size < blob.size(); ++size) {
        EXPECT_FALSE(Protection.Unprotect(std::span(blob).first(size)).Ok()) << size;
    }
    auto longer = blob;
    longer.push_back(0);
    EXPECT_FALSE(Protection.Unprotect(longer).Ok());

    auto newer = blob;
    newer[3] = 2;
    const auto refused = Protection.Unprotect(newer);
    EXPECT_FALSE(refused.Ok());
    EXPECT_NE(refused.Error().Reason.find("newer version"), std::string::npos);

    TSodiumProtection otherUser(Dir / "other/data-protection.key");
    ASSERT_TRUE(otherUser.Protect(ZeroTerminated("other"), Description()).Ok());
    const auto foreign = otherUser.Unprotect(blob);
    EXPECT_FALSE(foreign.Ok());
    EXPECT_NE(foreign.Error().Reason.find("another key"), std::string::npos);
    EXPECT_EQ(Plain(Protection.Unprotect(blob)),
              ZeroTerminated("geheim")); // the original still opens
}

TEST_F(SodiumProtectionTest, KeyFileIsPrivateAndSharedByLaterInstances) {
    const TUmask mask(022);
    const auto blob = Protect(ZeroTerminated("geheim"));
    EXPECT_EQ(ModeOf(KeyFile), 0600);
    EXPECT_EQ(ModeOf(KeyDir), 0700);
    const std::string key = ReadText(KeyFile);
    EXPECT_EQ(key.size(), 32u);

    TSodiumProtection later(KeyFile);
    EXPECT_EQ(Plain(later.Unprotect(blob)), ZeroTerminated("geheim"));
    ASSERT_TRUE(later.Protect(ZeroTerminated("x"), Description()).Ok());
    EXPECT_EQ(ReadText(KeyFile), key);
}

TEST_F(SodiumProtectionTest, UnprotectWithoutAKeyMakesNone) {
    const auto blob = Protect(ZeroTerminated("geheim"));
    TSodiumProtection fresh(Dir / "fresh/data-protection.key");
    const auto none = fresh.Unprotect(blob);
    EXPECT_FALSE(none.Ok());
    EXPECT_FALSE(Exists(Dir / "fresh/data-protection.key"));
    EXPECT_FALSE(none.Error().Reason.empty());
}

TEST_F(SodiumProtectionTest, DamagedOrForeignKeyFileIsNeverOverwritten) {
    ::mkdir((Dir / "config").c_str(), 0700);
    ::mkdir(KeyDir.c_str(), 0700);
    for (const std::string& content : {std::string(), std::string(31, 'k'), std::string(33, 'k')}) {
        WriteText(KeyFile, content);
        ::chmod(KeyFile.c_str(), 0600);
        const auto refused = Protection.Protect(ZeroTerminated("x"), Description());
        EXPECT_FALSE(refused.Ok()) << content.size();
        EXPECT_NE(refused.Error().Reason.find("left as it is"), std::string::npos);
        EXPECT_EQ(ReadText(KeyFile), content);
    }
    WriteText(KeyFile, std::string(32, 'k'));
    ::chmod(KeyFile.c_str(), 0644);
    const auto open = Protection.Protect(ZeroTerminated("x"), Description());
    EXPECT_FALSE(open.Ok());
    EXPECT_NE(open.Error().Reason.find("0644"), std::string::npos) << open.Error().Reason;

    ::chmod(KeyFile.c_str(), 0600);
    if (::chown(KeyFile.c_str(), 65534, 65534) == 0) { // only root can give a file away
        const auto foreign = Protection.Protect(ZeroTerminated("x"), Description());
        EXPECT_FALSE(foreign.Ok());
        EXPECT_NE(foreign.Error().Reason.find("not a file of this user"), std::string::npos);
    }
    ::unlink(KeyFile.c_str());
    WriteText(Dir / "elsewhere", std::string(32, 'k'));
    ::chmod((Dir / "elsewhere").c_str(), 0600);
    ASSERT_EQ(::symlink((Dir / "elsewhere").c_str(), KeyFile.c_str()), 0);
    EXPECT_FALSE(Protection.Protect(ZeroTerminated("x"), Description()).Ok());
    EXPECT_EQ(ReadText(Dir / "elsewhere"), std::string(32, 'k'));
}

TEST_F(SodiumProtectionTest, ProcessesStartingTogetherAgreeOnOneKey) {
    constexpr int Writers = 6;
    pid_t children[Writers] = {};
    int startGun[2];
    ASSERT_EQ(::pipe(startGun), 0);
    for (int i = 0; i < Writers; ++i) {
        children[i] = ::fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            ::close(startGun[1]);
            TSodiumProtection mine(KeyFile);
            char none = 0;
            (void)!::read(startGun[0], &none, 1); // returns when the parent closes its end
            const auto blob = mine.Protect(ZeroTerminated("p" + std::to_string(i)), Description());
            if (blob) {
                WriteText(Dir / ("blob" + std::to_string(i)),
                          std::string(blob->begin(), blob->end()));
            }
            ::_exit(blob ? 0 : 1);
        }
    }
    ::close(startGun[0]);
    ::close(startGun[1]);
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int i = 0; i < Writers; ++i) {
        const std::string blob = ReadText(Dir / ("blob" + std::to_string(i)));
        EXPECT_EQ(Plain(Protection.Unprotect(posix::AsBytes(blob))),
                  ZeroTerminated("p" + std::to_string(i)));
    }
    // The losers' temporary files are gone: the key is all the directory holds.
    const auto entries = std::distance(std::filesystem::directory_iterator(KeyDir),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 1);
}
