#include "platform/WinSecurity.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <vector>

#include "platform/WinErrors.h"
#include "platform/WinHandles.h"
#include "platform/WinText.h"

namespace qor::win {
namespace {

// The accounts that can reach every file anyway; admitting them takes nothing away. A folder
// made by a run with raised rights belongs to the administrators (or to the system).
constexpr const char* LocalSystemSid = "S-1-5-18";
constexpr const char* AdministratorsSid = "S-1-5-32-544";

bool IsUserOrSystem(const std::string& sid, const std::string& userSid) {
    return sid == userSid || sid == LocalSystemSid || sid == AdministratorsSid;
}

// The access list of a private directory: protected from inheriting the parent's entries,
// full access for one SID, passed on to files and subdirectories.
std::string PrivateDescriptor(const std::string& userSid) {
    return "D:P(A;OICI;FA;;;" + userSid + ")";
}

std::string SidText(PSID sid) {
    wchar_t* text = nullptr;
    if (::ConvertSidToStringSidW(sid, &text) == FALSE) {
        return {};
    }
    const TLocalMemory<wchar_t> owner(text);
    return Narrow(text);
}

} // namespace

TResult<std::string> CurrentUserSid() {
    HANDLE rawToken = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken) == FALSE) {
        return Fail(TError{LastErrorText("cannot read the process's user")});
    }
    const TFile token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<std::uint8_t> buffer(size);
    if (size == 0 ||
        ::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) == FALSE) {
        return Fail(TError{LastErrorText("cannot read the process's user")});
    }
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
    std::string sid = SidText(user->User.Sid);
    if (sid.empty()) {
        return Fail(TError{LastErrorText("cannot name the process's user")});
    }
    return sid;
}

TResult<void> CreatePrivateDirectory(const std::string& path, const std::string& userSid) {
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            Widen(PrivateDescriptor(userSid)).c_str(), SDDL_REVISION_1, &rawDescriptor, nullptr) ==
        FALSE) {
        return Fail(TError{LastErrorText("cannot describe a private directory")});
    }
    const TLocalMemory<void> descriptor(rawDescriptor);
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), descriptor.get(), FALSE};
    if (::CreateDirectoryW(Widen(path).c_str(), &attributes) != FALSE ||
        ::GetLastError() == ERROR_ALREADY_EXISTS) {
        return {};
    }
    return Fail(TError{LastErrorText("cannot create the directory '" + path + "'")});
}

TResult<void> CheckPrivateDirectory(const std::string& path, const std::string& userSid) {
    const std::wstring widePath = Widen(path);
    const DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return Fail(TError{LastErrorText("cannot examine '" + path + "'")});
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Fail(TError{"'" + path + "' is not a directory of its own"});
    }
    PSID owner = nullptr;
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR rawDescriptor = nullptr;
    const DWORD status = ::GetNamedSecurityInfoW(
        widePath.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &owner, nullptr, &acl, nullptr, &rawDescriptor);
    if (status != ERROR_SUCCESS) {
        return Fail(TError{ErrorText("cannot read who may use '" + path + "'", status)});
    }
    const TLocalMemory<void> descriptor(rawDescriptor);
    if (acl == nullptr) {
        return Fail(TError{"'" + path + "' is open to everybody"});
    }
    std::vector<std::string> admitted;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (::GetAce(acl, i, &ace) == FALSE) {
            return Fail(TError{LastErrorText("cannot read who may use '" + path + "'")});
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        admitted.push_back(SidText(const_cast<DWORD*>(&allowed->SidStart)));
    }
    if (const auto privacy = CheckPrivacy(SidText(owner), admitted, userSid); !privacy) {
        return Fail(TError{"'" + path + "' " + privacy.Error().Reason});
    }
    return {};
}

TResult<void> CheckPrivacy(const std::string& ownerSid, const std::vector<std::string>& admitted,
                           const std::string& userSid) {
    if (!IsUserOrSystem(ownerSid, userSid)) {
        return Fail(TError{"belongs to " + ownerSid + ", not to us"});
    }
    for (const std::string& who : admitted) {
        if (!IsUserOrSystem(who, userSid)) {
            return Fail(TError{"is open to " + who});
        }
    }
    return {};
}

} // namespace qor::win
