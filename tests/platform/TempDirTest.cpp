#include <gtest/gtest.h>

#include "platform/PosixFiles.h"
#include "platform/TempDir.h"
#include "platform/TempName.h"
#include "qortest/KeptResult.h"
#include "qortest/PlatformTestSupport.h"

using namespace qor;
using namespace qor::test;

namespace {

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return posix::AsBytes(text);
}

bool IsLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

class TempDirTest : public ::testing::Test {
protected:
    TScratchDir Dir;
    std::string Target = Dir / "qor-7316.bin";
    std::string Victim = Dir / "victim";
    std::string Error;
};

} // namespace

// Whether or not it waits for the disk, a write replaces the whole file and leaves nothing.
class TempDirWrite : public TempDirTest, public ::testing::WithParamInterface<TDurability> {};

TEST_P(TempDirWrite, WritesTheWholeFileAndReplacesTheOldOne) {
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes("first"), GetParam()), Error)) << Error;
    std::string big(300000, 'x');
    big[12345] = '\0';
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes(big), GetParam()), Error)) << Error;
    EXPECT_EQ(ReadText(Target), big);
    EXPECT_EQ(ModeOf(Target), 0600);
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, {}, GetParam()), Error)) << Error;
    EXPECT_EQ(ReadText(Target), "");
    EXPECT_EQ(RemoveStaleTempFiles(Target), 0); // nothing left beside it
}

INSTANTIATE_TEST_SUITE_P(Durabilities, TempDirWrite,
                         ::testing::Values(TDurability::Durable, TDurability::Scratch));

TEST_F(TempDirTest, LinkPlantedAtTheTargetIsReplacedNotFollowed) {
    WriteText(Victim, "precious");
    ASSERT_EQ(::symlink(Victim.c_str(), Target.c_str()), 0);
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes("image")), Error)) << Error;
    EXPECT_EQ(ReadText(Victim), "precious");
    EXPECT_FALSE(IsLink(Target));
    EXPECT_EQ(ReadText(Target), "image");
}

TEST_F(TempDirTest, LinkPlantedAtThePredictableTemporaryNameIsNotFollowed) {
    WriteText(Victim, "precious");
    const std::string predictable = posix::TempPathFor(Target, 0);
    ASSERT_EQ(posix::DirectoryOf(predictable), Dir.Path());
    ASSERT_EQ(::symlink(Victim.c_str(), predictable.c_str()), 0);
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes("image")), Error)) << Error;
    EXPECT_EQ(ReadText(Victim), "precious");
    EXPECT_EQ(ReadText(Target), "image");
    EXPECT_TRUE(IsLink(predictable)); // what we did not make, we leave alone

    // A dangling link would let a plain O_CREAT make a file wherever it points.
    const std::string nowhere = Dir / "nowhere";
    ASSERT_EQ(::unlink(predictable.c_str()), 0);
    ASSERT_EQ(::symlink(nowhere.c_str(), predictable.c_str()), 0);
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes("again")), Error)) << Error;
    EXPECT_FALSE(Exists(nowhere));
    EXPECT_EQ(ReadText(Target), "again");
}

TEST_F(TempDirTest, WriteIntoAReadOnlyDirectoryFailsWithAReasonAndKeepsTheOldFile) {
    ASSERT_TRUE(Kept(WriteFileAtomically(Target, Bytes("old")), Error)) << Error;
    ::chmod(Dir.Path().c_str(), 0500);
    {
        const TPermissionsApply permissions;
        EXPECT_FALSE(Kept(WriteFileAtomically(Target, Bytes("new")), Error));
    }
    ::chmod(Dir.Path().c_str(), 0700);
    EXPECT_NE(Error.find(Dir.Path()), std::string::npos) << Error;
    EXPECT_NE(Error.find("Permission denied"), std::string::npos) << Error;
    EXPECT_EQ(ReadText(Target), "old");
    EXPECT_EQ(RemoveStaleTempFiles(Target), 0);

    Error.clear();
    EXPECT_FALSE(Kept(WriteFileAtomically(Dir / "missing/file", Bytes("x")), Error));
    EXPECT_NE(Error.find("No such file"), std::string::npos) << Error;
}

TEST_F(TempDirTest, PrivateDirectoryIsCreated0700AndForeignOnesAreRefused) {
    const TUmask mask(077);
    const std::string fresh = Dir / "fresh";
    ASSERT_TRUE(Kept(EnsurePrivateDirectory(fresh), Error)) << Error;
    EXPECT_EQ(ModeOf(fresh), 0700);
    EXPECT_TRUE(Kept(EnsurePrivateDirectory(fresh), Error)) << Error; // again: it is ours

    const std::string open = Dir / "open";
    ::mkdir(open.c_str(), 0700);
    ::chmod(open.c_str(), 0755);
    EXPECT_FALSE(Kept(EnsurePrivateDirectory(open), Error));
    EXPECT_NE(Error.find("0755"), std::string::npos) << Error;
    EXPECT_EQ(ModeOf(open), 0755); // refused, not repaired

    const std::string link = Dir / "link";
    ASSERT_EQ(::symlink(fresh.c_str(), link.c_str()), 0);
    EXPECT_FALSE(Kept(EnsurePrivateDirectory(link), Error));
    EXPECT_NE(Error.find("not a directory"), std::string::npos) << Error;

    WriteText(Dir / "file", "x");
    EXPECT_FALSE(Kept(EnsurePrivateDirectory(Dir / "file"), Error));

    // Someone else's directory, even with the right mode. Only root can give one away.
    const std::string foreign = Dir / "foreign";
    ::mkdir(foreign.c_str(), 0700);
    if (::chown(foreign.c_str(), 65534, 65534) == 0) {
        EXPECT_FALSE(Kept(EnsurePrivateDirectory(foreign), Error));
        EXPECT_NE(Error.find("belongs to user 65534"), std::string::npos) << Error;
    }
}

TEST_F(TempDirTest, UserTempDirectoryIsTheRuntimeDirectoryWhenThatIsPrivate) {
    const std::string runtime = Dir / "runtime";
    ::mkdir(runtime.c_str(), 0700);
    {
        const TEnvironment env("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(Kept(UserTempDirectory(), Error), runtime + "/") << Error;
    }
    ::chmod(runtime.c_str(), 0750);
    const TEnvironment env("XDG_RUNTIME_DIR", runtime);
    const auto fallback = Kept(UserTempDirectory(), Error);
    // Open to the group: not used; the private directory below /tmp instead.
    if (fallback) {
        EXPECT_EQ(*fallback, "/tmp/qor7316-updater-" + std::to_string(::geteuid()) + "/");
        EXPECT_EQ(ModeOf(*fallback), 0700);
    } else {
        EXPECT_NE(Error.find("XDG_RUNTIME_DIR"), std::string::npos) << Error;
    }
}

TEST_F(TempDirTest, OnlyOurOwnTemporaryNamesCountAsStale) {
    const std::string base = "qor-7316.bin";
    EXPECT_TRUE(IsTempNameFor(".qor-7316.bin.123.tmp", base));
    EXPECT_TRUE(IsTempNameFor(".qor-7316.bin.123-00ff.tmp", base));
    EXPECT_FALSE(IsTempNameFor(".qor-7316.bin..tmp", base));
    EXPECT_FALSE(IsTempNameFor(".qor-7316.bin.backup.tmp", base));
    EXPECT_FALSE(IsTempNameFor("qor-7316.bin.123.tmp", base));
    EXPECT_FALSE(IsTempNameFor(".other.bin.123.tmp", base));
    EXPECT_EQ(posix::BaseNameOf(posix::TempPathFor(Target, 0)),
              "." + base + "." + std::to_string(::getpid()) + ".tmp");
    EXPECT_NE(posix::TempPathFor(Target, 1), posix::TempPathFor(Target, 2));
}
