#include "platform/NewerWindows.h"

#include <shlobj.h>
#include <wincrypt.h>

#include <vector>

#include "platform/Handle.h"
#include "platform/SystemFunction.h"

namespace kb {

namespace {

bool& XpWays() {
    static bool xp = false;
    return xp;
}

// The newer function, or null where it is missing (or the XP way is asked for).
template <typename Function>
Function Newer(const wchar_t* module, const char* name) {
    return XpWays() ? nullptr : SystemFunction<Function>(module, name);
}

// The system's uppercase table, one code unit at a time: the registry's
// and the file system's own.
wchar_t Upcase(wchar_t c) {
    using Upcase = WCHAR(NTAPI*)(WCHAR);
    static const Upcase upcase = SystemFunction<Upcase>(L"ntdll.dll", "RtlUpcaseUnicodeChar");
    return upcase ? upcase(c) : c;
}

}  // namespace

void UseXpWaysForTesting(bool xp) noexcept {
    XpWays() = xp;
}

bool OrdinalEqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
    using Compare = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);
    if (const auto compare = Newer<Compare>(L"kernel32.dll", "CompareStringOrdinal"))
        return compare(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && Upcase(a[i]) != Upcase(b[i])) return false;
    return true;
}

std::wstring OrdinalUpperCase(const std::wstring& text) {
    if (text.empty()) return text;
    using Map = int(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, int, LPWSTR, int, LPNLSVERSIONINFO, LPVOID, LPARAM);
    if (const auto map = Newer<Map>(L"kernel32.dll", "LCMapStringEx")) {
        std::wstring upper(text.size(), L'\0');
        const int length = map(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.c_str(), static_cast<int>(text.size()),
                               upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
        if (length > 0) {
            upper.resize(static_cast<std::size_t>(length));
            return upper;
        }
    }
    std::wstring upper = text;
    for (wchar_t& c : upper) c = Upcase(c);
    return upper;
}

DWORD QueryImageRights() noexcept {
    using Query = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    return Newer<Query>(L"kernel32.dll", "QueryFullProcessImageNameW") ? PROCESS_QUERY_LIMITED_INFORMATION
                                                                       : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
}

std::wstring ImageOfProcess(HANDLE process) {
    using Query = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    using ModuleName = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);
    const auto query = Newer<Query>(L"kernel32.dll", "QueryFullProcessImageNameW");
    const auto moduleName = query ? nullptr : SystemFunction<ModuleName>(L"psapi.dll", "GetModuleFileNameExW");
    if (!query && !moduleName) return {};
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (query ? query(process, 0, path.data(), &size) != FALSE
                  : (size = moduleName(process, nullptr, path.data(), size)) != 0 && size < path.size()) {
            path.resize(size);
            return path;
        }
        if ((query && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) || (!query && size == 0) ||
            path.size() > 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

void AllowMessageFromLowerIntegrity(HWND window, UINT message) noexcept {
    using FilterWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    using FilterProcess = BOOL(WINAPI*)(UINT, DWORD);
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW, MSGFLT_ADD
    if (const auto filter = Newer<FilterWindow>(L"user32.dll", "ChangeWindowMessageFilterEx"))
        filter(window, message, kAllow, nullptr);
    // Vista lets it in for the whole process; XP has no integrity levels.
    else if (const auto processFilter = Newer<FilterProcess>(L"user32.dll", "ChangeWindowMessageFilter"))
        processFilter(message, kAllow);
}

std::optional<int> DpiOfWindow(HWND window) noexcept {
    using GetDpi = UINT(WINAPI*)(HWND);
    const auto get = Newer<GetDpi>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = get ? get(window) : 0;
    if (dpi == 0) return std::nullopt;
    return static_cast<int>(dpi);
}

std::optional<int> DpiOfMonitor(HMONITOR monitor) noexcept {
    using GetDpi = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    const auto get = Newer<GetDpi>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    if (!get || FAILED(get(monitor, kEffectiveDpi, &x, &y)) || x == 0) return std::nullopt;
    return static_cast<int>(x);
}

RECT FrameAround(const RECT& client, DWORD style, DWORD exStyle, int dpi) noexcept {
    using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    RECT frame = client;
    const auto adjust = Newer<AdjustForDpi>(L"user32.dll", "AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))) {
        frame = client;
        ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    return frame;
}

LONG DeleteRegistryKey(HKEY parent, const std::wstring& path, REGSAM view) noexcept {
    using DeleteEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    if (const auto deleteEx = Newer<DeleteEx>(L"advapi32.dll", "RegDeleteKeyExW"))
        return deleteEx(parent, path.c_str(), view, 0);
    return ::RegDeleteKeyW(parent, path.c_str());  // one view on 32-bit XP
}

// --- SHA-256 ------------------------------------------------------------------

namespace {

using BOpen = LONG(WINAPI*)(void**, LPCWSTR, LPCWSTR, ULONG);
using BCreate = LONG(WINAPI*)(void*, void**, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using BData = LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG);
using BFinish = LONG(WINAPI*)(void*, PUCHAR, ULONG, ULONG);
using BDestroy = LONG(WINAPI*)(void*);
using BProperty = LONG(WINAPI*)(void*, LPCWSTR, PUCHAR, ULONG, ULONG*, ULONG);

struct Cng {
    // The hash object's size: Vista wants its buffer from the caller (7
    // and later make it themselves when given none).
    ULONG objectSize = 0;
    BCreate create = nullptr;
    BData data = nullptr;
    BFinish finish = nullptr;
    BDestroy destroy = nullptr;
    void* algorithm = nullptr;  // opened once: it costs more than hashing a small file
};

const Cng* TheCng() {
    if (XpWays()) return nullptr;
    static const Cng cng = [] {
        Cng found;
        const auto open = SystemFunction<BOpen>(L"bcrypt.dll", "BCryptOpenAlgorithmProvider");
        found.create = SystemFunction<BCreate>(L"bcrypt.dll", "BCryptCreateHash");
        found.data = SystemFunction<BData>(L"bcrypt.dll", "BCryptHashData");
        found.finish = SystemFunction<BFinish>(L"bcrypt.dll", "BCryptFinishHash");
        found.destroy = SystemFunction<BDestroy>(L"bcrypt.dll", "BCryptDestroyHash");
        const auto property = SystemFunction<BProperty>(L"bcrypt.dll", "BCryptGetProperty");
        ULONG size = 0;
        if (!open || !property || !found.create || !found.data || !found.finish || !found.destroy ||
            open(&found.algorithm, L"SHA256", nullptr, 0) < 0 ||
            property(found.algorithm, L"ObjectLength", reinterpret_cast<PUCHAR>(&found.objectSize),
                     sizeof found.objectSize, &size, 0) < 0)
            found.algorithm = nullptr;
        return found;
    }();
    return cng.algorithm ? &cng : nullptr;
}

std::wstring Hex(const unsigned char* bytes, std::size_t size) {
    std::wstring hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += L"0123456789abcdef"[bytes[i] >> 4];
        hex += L"0123456789abcdef"[bytes[i] & 0xF];
    }
    return hex;
}

}  // namespace

struct Sha256::State {
    const Cng* cng = nullptr;
    std::vector<UCHAR> cngObject;
    void* cngHash = nullptr;
    HCRYPTPROV provider = 0;
    HCRYPTHASH cryptoHash = 0;
    bool failed = false;
};

Sha256::Sha256() : state_(new State) {
    state_->cng = TheCng();
    if (state_->cng) {
        state_->cngObject.resize(state_->cng->objectSize);
        state_->failed = state_->cng->create(state_->cng->algorithm, &state_->cngHash, state_->cngObject.data(),
                                             state_->cng->objectSize, nullptr, 0, 0) < 0;
        return;
    }
    // The AES provider has SHA-256; on XP SP3 it is still named a prototype.
    for (const wchar_t* name : {static_cast<const wchar_t*>(nullptr), MS_ENH_RSA_AES_PROV_W,
                                MS_ENH_RSA_AES_PROV_XP_W})
        if (::CryptAcquireContextW(&state_->provider, nullptr, name, PROV_RSA_AES,
                                   CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            break;
    state_->failed = !state_->provider ||
                     !::CryptCreateHash(state_->provider, CALG_SHA_256, 0, 0, &state_->cryptoHash);
}

Sha256::~Sha256() {
    if (state_->cngHash) state_->cng->destroy(state_->cngHash);
    if (state_->cryptoHash) ::CryptDestroyHash(state_->cryptoHash);
    if (state_->provider) ::CryptReleaseContext(state_->provider, 0);
    delete state_;
}

bool Sha256::Add(const void* data, unsigned long size) {
    if (state_->failed) return false;
    auto* bytes = static_cast<BYTE*>(const_cast<void*>(data));
    state_->failed = state_->cng ? state_->cng->data(state_->cngHash, bytes, size, 0) < 0
                                 : !::CryptHashData(state_->cryptoHash, bytes, size, 0);
    return !state_->failed;
}

std::wstring Sha256::Finish() {
    unsigned char digest[32] = {};
    DWORD size = sizeof digest;
    if (state_->failed ||
        (state_->cng ? state_->cng->finish(state_->cngHash, digest, size, 0) < 0
                     : !::CryptGetHashParam(state_->cryptoHash, HP_HASHVAL, digest, &size, 0) || size != 32))
        return {};
    return Hex(digest, sizeof digest);
}

// --- the shell ----------------------------------------------------------------

namespace {

std::wstring Widened(const char* text) {
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), size);
    wide.resize(static_cast<std::size_t>(size - 1));
    return wide;
}

// A name the shell handed back, in any of its three forms (what shlwapi's
// StrRetToBuf does, without another library).
std::wstring TextOf(STRRET& ret, PCIDLIST_ABSOLUTE list) {
    switch (ret.uType) {
    case STRRET_WSTR: {
        const UniqueCoMemory owned(ret.pOleStr);
        return ret.pOleStr ? ret.pOleStr : L"";
    }
    case STRRET_OFFSET:
        return Widened(reinterpret_cast<const char*>(list) + ret.uOffset);
    case STRRET_CSTR:
        return Widened(ret.cStr);
    }
    return {};
}

}  // namespace

std::wstring NameOfIdList(const void* idList) {
    const auto list = static_cast<PCIDLIST_ABSOLUTE>(idList);
    using Name = HRESULT(WINAPI*)(PCIDLIST_ABSOLUTE, SIGDN, PWSTR*);
    if (const auto name = Newer<Name>(L"shell32.dll", "SHGetNameFromIDList")) {
        for (const SIGDN form : {SIGDN_DESKTOPABSOLUTEEDITING, SIGDN_NORMALDISPLAY}) {
            PWSTR text = nullptr;
            if (FAILED(name(list, form, &text)) || !text) continue;
            const UniqueCoMemory owned(text);
            if (*text) return text;
        }
        return {};
    }
    // XP: the desktop folder names any absolute ID list, in the same two forms.
    IShellFolder* desktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&desktop)) || !desktop) return {};
    std::wstring found;
    for (const DWORD form : {DWORD{SHGDN_FORPARSING | SHGDN_FORADDRESSBAR}, DWORD{SHGDN_NORMAL}}) {
        STRRET ret{};
        if (FAILED(desktop->GetDisplayNameOf(list, form, &ret))) continue;
        found = TextOf(ret, list);
        if (!found.empty()) break;
    }
    desktop->Release();
    return found;
}

}  // namespace kb
