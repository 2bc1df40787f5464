#include "support/ApplicationFolder.h"

#include <QDir>
#include <memory>
#include <string>
#include <vector>

// aclapi.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on

namespace quorvane {

bool isInstalledCopyFolder(const QString& folder)
{
    // An installed copy lives below one of the Program Files folders (the 64-bit one, and the
    // 32-bit one beside it), which is no place for log files even for an administrator.
    for (const char* variable : { "ProgramFiles", "ProgramW6432", "ProgramFiles(x86)" }) {
        const QString root = QDir::cleanPath(QDir::fromNativeSeparators(qEnvironmentVariable(variable)));
        if (root.isEmpty())
            continue;
        if (folder.compare(root, Qt::CaseInsensitive) == 0
            || folder.startsWith(root + QLatin1Char('/'), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

namespace {

    // The SIDs that may hold a folder whose files the program appends to: the user running it,
    // the machine's administrators and the system itself.
    bool isTrustedSid(PSID sid, PSID user)
    {
        if (sid == nullptr || !IsValidSid(sid))
            return false;
        if (user != nullptr && EqualSid(sid, user))
            return true;
        for (const WELL_KNOWN_SID_TYPE type : { WinBuiltinAdministratorsSid, WinLocalSystemSid, WinCreatorOwnerSid }) {
            BYTE buffer[SECURITY_MAX_SID_SIZE];
            DWORD size = sizeof buffer;
            if (CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer))
                return true;
        }
        return false;
    }

    // The running user's SID, in `buffer`.
    PSID currentUserSid(std::vector<BYTE>& buffer)
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return nullptr;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        buffer.resize(size);
        const bool read = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
        CloseHandle(token);
        return read ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
    }

} // namespace

bool isFolderOnlyTheUserWrites(const QString& folder)
{
    // Another user who can create files here (C:\Quorvane inherits "Authenticated Users: Modify"
    // from C:\) could plant a link named like a log and have the program append to a file of this
    // user's.
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, decltype(&LocalFree)> release(descriptor, &LocalFree);
    std::vector<BYTE> userBuffer;
    PSID user = currentUserSid(userBuffer);
    // No DACL at all grants everyone everything.
    if (!isTrustedSid(owner, user) || dacl == nullptr)
        return false;
    constexpr ACCESS_MASK kWrites = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER
        | DELETE | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(dacl, index, &entry))
            return false;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // An entry for what is created inside only does not open the folder itself.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if ((allowed->Mask & kWrites) != 0 && !isTrustedSid(sid, user))
            return false;
    }
    return true;
}

} // namespace quorvane
