// The current user's identity and directories only that user can use, in Windows' terms.
#pragma once

#include <string>
#include <vector>

#include "base/Result.h"

namespace qor::win {

// The current user's SID as text ("S-1-5-21-...").
TResult<std::string> CurrentUserSid();

// Creates the directory with an access list that admits the user `userSid` alone (and the
// children inherit it). Fails with the reason when it neither was created nor existed.
TResult<void> CreatePrivateDirectory(const std::string& path, const std::string& userSid);

// A real directory (no reparse point) owned by the user `userSid`, the system or the
// administrators, whose access list admits nobody else than these.
TResult<void> CheckPrivateDirectory(const std::string& path, const std::string& userSid);

// The rule CheckPrivateDirectory applies to a directory's owner and to the accounts its access
// list admits: fails with why the directory is not private to `userSid`.
TResult<void> CheckPrivacy(const std::string& ownerSid, const std::vector<std::string>& admitted,
                           const std::string& userSid);

} // namespace qor::win
