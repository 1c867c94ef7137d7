// The current user's folders, as the product uses them: one call each.
#pragma once

#include <optional>
#include <string>

namespace qor {

// Where the user's settings live: $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config; nullopt when the user has no known home.
std::optional<std::string> UserConfigDirectory();

// Where the program keeps what it records for the user: $XDG_STATE_HOME when absolute, else
// ~/.local/state; the local application data on Windows. nullopt without a known home.
std::optional<std::string> UserStateDirectory();

} // namespace qor
