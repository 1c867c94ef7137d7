// A result turned back into true/false and its reason, for checks that look at the reason.
#pragma once

#include <optional>
#include <string>

#include "base/Result.h"

namespace qor::test {

inline bool Kept(const TResult<void>& result, std::string& reason) {
    reason = result ? std::string() : result.Error().Reason;
    return result.Ok();
}

template <typename T> std::optional<T> Kept(TResult<T> result, std::string& reason) {
    if (!result) {
        reason = result.Error().Reason;
        return std::nullopt;
    }
    reason.clear();
    return std::move(result.Value());
}

} // namespace qor::test
