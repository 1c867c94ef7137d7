#include "platform/TempName.h"

namespace qor {

std::string TempNameFor(const std::string& baseName, unsigned long processId,
                        const std::string& randomPart) {
    std::string name = "." + baseName + "." + std::to_string(processId);
    if (!randomPart.empty()) {
        name += "-" + randomPart;
    }
    return name + TempSuffix;
}

bool IsTempNameFor(const std::string& fileName, const std::string& baseName) {
    const std::string prefix = "." + baseName + ".";
    const std::string suffix = TempSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() || !fileName.starts_with(prefix) ||
        !fileName.ends_with(suffix)) {
        return false;
    }
    const std::string middle =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    return middle.find_first_not_of("0123456789abcdef-") == std::string::npos;
}

} // namespace qor
