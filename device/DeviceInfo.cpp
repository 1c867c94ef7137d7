#include "device/DeviceInfo.h"

#include <vector>

namespace qor {
namespace {

constexpr const char* NotReported = "the device did not report ";

// "a", "a and b", "a, b and c".
std::string JoinedList(const std::vector<const char*>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += i + 1 == items.size() ? " and " : ", ";
        }
        text += items[i];
    }
    return text;
}

} // namespace

TResult<TDeviceVariant> ReportedVariant(const TDeviceInfo& info) {
    if (!info.PageSize) {
        return Fail(TError{std::string(NotReported) + "its page size"});
    }
    if (!info.PageCount) {
        return Fail(TError{std::string(NotReported) + "its page count"});
    }
    return TDeviceVariant::FromGeometry(*info.PageSize, *info.PageCount);
}

std::string UnreportedValues(const TDeviceInfo& info) {
    std::vector<const char*> missing;
    if (!info.BootVersion) {
        missing.push_back("its bootloader version");
    }
    if (!info.PageSize) {
        missing.push_back("its page size");
    }
    if (!info.PageCount) {
        missing.push_back("its page count");
    }
    if (!info.DeviceChecksums) {
        missing.push_back("its checksums");
    }
    if (!info.DeviceFWVersion) {
        missing.push_back("its firmware version");
    }
    return JoinedList(missing);
}

} // namespace qor
