#include "app/services/ElevatedRequest.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "platform/NewerWindows.h"
#include "platform/ProcessAccess.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

constexpr DWORD kMagic = 0x5152424B;  // "KBRQ"
// No request is longer: a section that says otherwise is not one.
constexpr DWORD kMostChars = 1 << 20;

// The arguments follow the header, then one mark per argument, which the
// elevated instance sets for each it acted on.
struct Header {
    DWORD magic;
    volatile LONG taken;
    DWORD chars;  // of the arguments that follow, each ended by a NUL
    DWORD count;  // of the arguments, and so of the marks
};

SIZE_T SizeOf(DWORD chars, DWORD count) {
    return sizeof(Header) + static_cast<SIZE_T>(chars) * sizeof(wchar_t) + count;
}

struct ViewTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type view) noexcept { ::UnmapViewOfFile(view); }
};
using UniqueView = Unique<ViewTraits>;

}  // namespace

std::optional<ElevatedRequest> ElevatedRequest::Make(const std::vector<std::wstring>& arguments) {
    std::wstring payload;
    for (const std::wstring& argument : arguments) payload += argument + L'\0';
    if (payload.size() > kMostChars) return std::nullopt;
    const DWORD count = static_cast<DWORD>(arguments.size());
    const DWORD size = static_cast<DWORD>(SizeOf(static_cast<DWORD>(payload.size()), count));
    ElevatedRequest request;
    request.count_ = count;
    // Unnamed: only a process that may take handles out of this one reaches it.
    request.section_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, nullptr));
    if (!request.section_) return std::nullopt;
    const UniqueView view(::MapViewOfFile(request.section_.get(), FILE_MAP_WRITE, 0, 0, size));
    if (!view) return std::nullopt;
    auto* header = static_cast<Header*>(view.get());
    header->magic = kMagic;
    header->taken = 0;
    header->chars = static_cast<DWORD>(payload.size());
    header->count = count;
    std::wmemcpy(reinterpret_cast<wchar_t*>(header + 1), payload.data(), payload.size());
    std::memset(reinterpret_cast<wchar_t*>(header + 1) + payload.size(), 0, count);
    return request;
}

bool ElevatedRequest::Marked(std::size_t argument) const {
    if (argument >= count_) return false;
    const UniqueView view(::MapViewOfFile(section_.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view) return false;
    const auto* header = static_cast<const Header*>(view.get());
    const auto* marks = reinterpret_cast<const BYTE*>(reinterpret_cast<const wchar_t*>(header + 1) + header->chars);
    return marks[argument] == 1;
}

void RequestMarks::Mark(std::size_t argument) noexcept {
    if (marks_ && argument < count_) marks_[argument] = 1;
}

std::wstring ElevatedRequest::CommandLine() const {
    return std::to_wstring(::GetCurrentProcessId()) + L" " +
           std::to_wstring(reinterpret_cast<std::uintptr_t>(section_.get()));
}

std::optional<std::vector<std::wstring>> TakeElevatedRequest(const std::vector<std::wstring>& texts,
                                                             std::size_t at, const std::wstring& executable,
                                                             RequestMarks* marks) {
    const auto number = [&](std::size_t i) -> std::optional<unsigned long> {
        if (i >= texts.size() || texts[i].empty() || texts[i].size() > 10 ||
            texts[i].find_first_not_of(L"0123456789") != std::wstring::npos)
            return std::nullopt;
        return std::wcstoul(texts[i].c_str(), nullptr, 10);
    };
    const std::optional<unsigned long> processId = number(at), handle = number(at + 1);
    if (!processId || !handle) return std::nullopt;
    // Another account's guard too: the rights may be lent by another
    // administrator's password, and that administrator's process is refused
    // the guard's but for the debug privilege.
    const UniqueHandle guard(OpenProcessOfAnyAccount(static_cast<DWORD>(*processId), PROCESS_DUP_HANDLE | QueryImageRights()));
    // Only the running guard asks: a Keepboot of this very program file, in
    // this session (the one whose user gave the consent).
    DWORD guardSession = 0, ownSession = 0;
    if (!guard || !EqualIgnoringCase(ImageOfProcess(guard.get()), executable) ||
        !::ProcessIdToSessionId(static_cast<DWORD>(*processId), &guardSession) ||
        !::ProcessIdToSessionId(::GetCurrentProcessId(), &ownSession) || guardSession != ownSession)
        return std::nullopt;
    UniqueHandle section;
    if (!::DuplicateHandle(guard.get(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(*handle)),
                           ::GetCurrentProcess(), section.put(), FILE_MAP_READ | FILE_MAP_WRITE, FALSE, 0))
        return std::nullopt;
    UniqueView view(::MapViewOfFile(section.get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info{};
    if (!view || !::VirtualQuery(view.get(), &info, sizeof info) || info.RegionSize < sizeof(Header))
        return std::nullopt;
    auto* header = static_cast<Header*>(view.get());
    const DWORD chars = header->chars, count = header->count;
    if (header->magic != kMagic || chars > kMostChars || count > chars || SizeOf(chars, count) > info.RegionSize)
        return std::nullopt;
    // One use: whoever takes it first acts, and only once.
    if (::InterlockedCompareExchange(&header->taken, 1, 0) != 0) return std::nullopt;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(header + 1);
    std::vector<std::wstring> arguments;
    std::wstring argument;
    for (DWORD i = 0; i < chars; ++i) {
        if (text[i] == L'\0') {
            arguments.push_back(std::move(argument));
            argument.clear();
        } else {
            argument += text[i];
        }
    }
    if (arguments.size() != count) return std::nullopt;
    if (marks) {
        marks->marks_ = reinterpret_cast<volatile BYTE*>(const_cast<wchar_t*>(text) + chars);
        marks->count_ = count;
        marks->view_ = std::shared_ptr<void>(view.release(), [](void* v) { ::UnmapViewOfFile(v); });
    }
    return arguments;
}

bool RunsAsTheSystem() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
    BYTE buffer[256] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) return false;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
        return false;
    const bool same = ::EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, system) != FALSE;
    ::FreeSid(system);
    return same;
}

bool RunsUnderWine() {
    // Only Wine's own ntdll exports it; a program cannot add it to Windows'.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace kb
