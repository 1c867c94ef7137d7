#include "platform/RegularFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "qortest/ImageFiles.h"

namespace qor {
namespace {

using test::MakeImage;
using test::TBytes;
using test::TTempDir;

constexpr std::size_t Limit = std::size_t{16} * 1024 * 1024;

std::optional<TFileFault> FaultOf(const std::string& path) {
    const auto read = ReadRegularFile(path, Limit);
    if (read) {
        return std::nullopt;
    }
    return read.Error().Fault;
}

TEST(RegularFile, ReportsWhyAFileCouldNotBeRead) {
    TTempDir dir;
    const std::string missing = (dir.Path / "missing.bin").string();
    EXPECT_EQ(FaultOf(missing), TFileFault::Missing);
    EXPECT_NE(ReadRegularFile(missing, Limit).Error().Reason.find(missing), std::string::npos);
    EXPECT_EQ(FaultOf(dir.Path.string()), TFileFault::NotRegular);
    EXPECT_EQ(FaultOf("/dev/null"), TFileFault::NotRegular);

    const auto empty = ReadRegularFile(dir.Write("empty.bin", {}), Limit);
    ASSERT_TRUE(empty.Ok());
    EXPECT_TRUE(empty->empty());
}

TEST(RegularFile, AFifoIsRefusedWithoutWaitingForAWriter) {
    TTempDir dir;
    const std::string fifo = (dir.Path / "fifo.bin").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for reading the ordinary way would hang here until a writer came.
    EXPECT_EQ(FaultOf(fifo), TFileFault::NotRegular);
}

TEST(RegularFile, ReadsFilesLargerThanOneChunkWhole) {
    TTempDir dir;
    const TBytes image = MakeImage(129024 + 100, "130b");
    const auto read = ReadRegularFile(dir.Write("big.bin", image), Limit);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(*read, image);
}

TEST(RegularFile, RefusesFilesAboveTheLimitAndTakesOneAtIt) {
    TTempDir dir;
    const TBytes atLimit(4096, 0x5A);
    EXPECT_TRUE(ReadRegularFile(dir.Write("limit.bin", atLimit), 4096).Ok());
    TBytes above = atLimit;
    above.push_back(0);
    EXPECT_EQ(ReadRegularFile(dir.Write("above.bin", above), 4096).Error().Fault,
              TFileFault::TooLarge);
}

} // namespace
} // namespace qor
