#include "device/DeviceNodeWatch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

namespace qor {
namespace {

constexpr std::uint32_t NodeEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

// True when one of the events ends the watch or says events were lost.
bool LostTrack(std::span<const char> buffer) {
    constexpr std::uint32_t Ending =
        IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT | IN_IGNORED | IN_Q_OVERFLOW;
    std::size_t at = 0;
    while (at + sizeof(inotify_event) <= buffer.size()) {
        inotify_event event{};
        std::memcpy(&event, buffer.data() + at, sizeof(event));
        if ((event.mask & Ending) != 0) {
            return true;
        }
        at += sizeof(inotify_event) + event.len;
    }
    return false;
}

} // namespace

TDeviceNodeWatch::TDeviceNodeWatch(const std::string& folder) : Folder(folder) {
}

bool TDeviceNodeWatch::MayHaveChanged() {
    if (std::exchange(First, false)) {
        Watch.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (Watch.Valid() && ::inotify_add_watch(Watch.Get(), Folder.c_str(), NodeEvents) < 0) {
            Watch.Reset();
        }
        return true;
    }
    if (!Watch.Valid()) {
        return true;
    }
    bool changed = false;
    std::array<char, 4096> events{};
    for (;;) {
        const ssize_t got = ::read(Watch.Get(), events.data(), events.size());
        if (got > 0) {
            // What changed does not matter: any change lists the ttys again. A watch that
            // lost its folder or dropped events says no more, so it is given up.
            changed = true;
            if (LostTrack(std::span(events.data(), static_cast<std::size_t>(got)))) {
                Watch.Reset();
                return true;
            }
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno != EAGAIN) {
            // A watch that fails to read is no longer trusted.
            Watch.Reset();
            return true;
        }
        return changed;
    }
}

} // namespace qor
