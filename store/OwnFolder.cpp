#include "store/OwnFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <cwchar>

#include "platform/Faults.h"
#include "platform/CurrentUser.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/TextCompare.h"
#include "places/Records.h"

namespace kb {

namespace {

constexpr wchar_t kOwnFolders[] = L"OwnFolders";
// The system and the administrators change it; users read it and what it holds.
constexpr wchar_t kOwnRights[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";

std::optional<OwnFolderRefusal>& LastRefusal() {
    static std::optional<OwnFolderRefusal> refusal;
    return refusal;
}
std::optional<OwnFolderRefusal>& LastTold() {
    static std::optional<OwnFolderRefusal> told;
    return told;
}

// The name of the mark Keepboot leaves in a folder it made: a token no one
// else knows (only administrators may read the mark), kept beside the
// folder's name in the administrators' record. A folder someone else made,
// even one made again under the same name, bears no such mark.
constexpr wchar_t kMark[] = L"Keepboot folder.id";
constexpr wchar_t kMarkRights[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

std::optional<std::wstring> IdentityOf(const std::wstring& folder) {
    const std::optional<std::string> mark = ReadSmallFile(folder + L"\\" + kMark, 64);
    if (!mark || mark->empty()) return std::nullopt;
    return std::wstring(mark->begin(), mark->end());
}

// Leaves a new mark in the folder; its token, or none when it cannot.
std::optional<std::wstring> Mark(const std::wstring& folder) {
    GUID guid{};
    wchar_t text[64] = {};
    if (FAILED(::CoCreateGuid(&guid)) || !::StringFromGUID2(guid, text, 64)) return std::nullopt;
    const std::string token(text, text + std::wcslen(text));
    UniqueLocal descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kMarkRights, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr))
        return std::nullopt;
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    const UniqueFile file(::CreateFileW((folder + L"\\" + kMark).c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                                        FILE_ATTRIBUTE_HIDDEN, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.get(), token.data(), static_cast<DWORD>(token.size()), &written, nullptr) ||
        written != token.size())
        return std::nullopt;
    return std::wstring(text);
}

bool KnownAsOwn(const std::wstring& folder, const std::wstring& identity) {
    RecordLines lines;
    if (ReadRecord(HKEY_LOCAL_MACHINE, kOwnFolders, lines) != RecordState::Read) return false;
    return std::any_of(lines.begin(), lines.end(), [&](const auto& line) {
        return line.size() == 2 && EqualIgnoringCase(line[0], folder) && line[1] == identity;
    });
}

bool NoteAsOwn(const std::wstring& folder, const std::wstring& identity) {
    RecordLines lines;
    if (ReadRecord(HKEY_LOCAL_MACHINE, kOwnFolders, lines) == RecordState::Broken) lines.clear();
    std::erase_if(lines, [&](const auto& line) { return line.empty() || EqualIgnoringCase(line[0], folder); });
    lines.push_back({folder, identity});
    return WriteRecord(HKEY_LOCAL_MACHINE, kOwnFolders, lines) == ERROR_SUCCESS;
}

// Whether only administrators and the system may change the folder: its
// owner is one of them, and nobody else is allowed to write or delete. (A
// folder an earlier Keepboot made, before its identity was kept.)
bool OnlyAdministratorsMayChange(const std::wstring& folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocal descriptor;
    if (::GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                                nullptr, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS ||
        !owner || !dacl || !IsAdministratorsOrSystem(owner))
        return false;
    constexpr DWORD kChanges = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                               FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return false;
        const auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & kChanges) && !IsAdministratorsOrSystem(const_cast<DWORD*>(&allowed->SidStart)))
            return false;
    }
    return true;
}

std::optional<OwnFolderRefusal> Refuse(OwnFolderRefusal::Why why, const std::wstring& folder) {
    LastRefusal() = OwnFolderRefusal{why, folder};
    return LastRefusal();
}

// One folder: made as Keepboot's own, or found so.
std::optional<OwnFolderRefusal> MakeOne(const std::wstring& folder) {
    using Why = OwnFolderRefusal::Why;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD attributes = AttributesOf(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                return Refuse(Why::Link, folder);
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Refuse(Why::NotAFolder, folder);
            if (const std::optional<std::wstring> identity = IdentityOf(folder);
                identity && KnownAsOwn(folder, *identity))
                return std::nullopt;
            // One an earlier Keepboot made, before it left its mark.
            if (OnlyAdministratorsMayChange(folder) && !FileExists(folder + L"\\" + kMark))
                if (const std::optional<std::wstring> identity = Mark(folder); identity && NoteAsOwn(folder, *identity))
                    return std::nullopt;
            return Refuse(Why::SomeoneElses, folder);
        }
        if (WriteRefused(folder)) return Refuse(Why::NeedsAdministrator, folder);
        UniqueLocal descriptor;
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                kOwnRights, SDDL_REVISION_1, reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr))
            return Refuse(Why::CannotMake, folder);
        SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
        if (::CreateDirectoryW(folder.c_str(), &security)) {
            const std::optional<std::wstring> identity = Mark(folder);
            if (identity && NoteAsOwn(folder, *identity)) return std::nullopt;
            return Refuse(Why::CannotKnow, folder);
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return Refuse(Why::CannotMake, folder);
        // Made by another meanwhile: looked at as found.
    }
    return Refuse(Why::SomeoneElses, folder);
}

}  // namespace

std::optional<OwnFolderRefusal> MakeOwnFolder(const std::wstring& folder) {
    using Why = OwnFolderRefusal::Why;
    const auto slash = folder.rfind(L'\\');
    if (folder.empty() || slash == std::wstring::npos) return Refuse(Why::NoPlace, folder);
    if (std::optional<OwnFolderRefusal> why = MakeOne(folder.substr(0, slash))) return why;
    return MakeOne(folder);
}

std::optional<OwnFolderRefusal> TakeOwnFolderRefusal() {
    std::optional<OwnFolderRefusal> refusal = std::exchange(LastRefusal(), std::nullopt);
    if (!refusal || refusal == LastTold()) return std::nullopt;
    LastTold() = refusal;
    return refusal;
}

}  // namespace kb
