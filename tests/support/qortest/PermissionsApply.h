// Makes a root test subject to file permissions, so checks of a refused open run on machines
// and CI runners that test as root. Linux only.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qor::test {

// While it lives, this thread is subject to file permissions like any user: as root the
// capabilities that override them are taken out of the effective set, and put back after.
class TPermissionsApply {
public:
    TPermissionsApply() {
        if (::syscall(SYS_capget, &Header, Saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {Saved[0], Saved[1]};
        reduced[0].effective &=
            ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH) | (1U << CAP_FOWNER));
        Active = ::syscall(SYS_capset, &Header, reduced) == 0;
    }
    TPermissionsApply(const TPermissionsApply&) = delete;
    TPermissionsApply& operator=(const TPermissionsApply&) = delete;
    ~TPermissionsApply() {
        if (Active) {
            ::syscall(SYS_capset, &Header, Saved);
        }
    }

private:
    __user_cap_header_struct Header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct Saved[2] = {};
    bool Active = false;
};

} // namespace qor::test
