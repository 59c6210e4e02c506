#pragma once
// What newer Windows offers, found at run time, with Windows XP SP3's way
// where it is missing: the program imports nothing XP SP3 lacks (a test
// checks the built program against the list of what it exports), so the
// loader starts it there, and each function below takes the older way.
#include <windows.h>

#include <optional>
#include <string>

namespace kb {

// Tests only: true makes every function here take its XP way, so that way
// can be shown to give what the newer one gives.
void UseXpWaysForTesting(bool xp) noexcept;

// Whether two texts are equal ignoring case by code point, with the
// system's uppercase table, as the registry and the file system compare
// names (CompareStringOrdinal; on XP, RtlUpcaseUnicodeChar).
bool OrdinalEqualIgnoringCase(const std::wstring& a, const std::wstring& b);
// The text in upper case by that table (LCMapStringEx, invariant; on XP,
// RtlUpcaseUnicodeChar).
std::wstring OrdinalUpperCase(const std::wstring& text);

// The rights OpenProcess needs for ImageOfProcess (on XP the limited query
// right does not exist).
DWORD QueryImageRights() noexcept;
// The image file of a process opened with those rights, empty when it
// cannot be asked (QueryFullProcessImageName; on XP, GetModuleFileNameEx).
std::wstring ImageOfProcess(HANDLE process);

// Lets a message in from processes of lower integrity: an elevated window
// still hears the shell and a second start (nothing to do before Vista).
void AllowMessageFromLowerIntegrity(HWND window, UINT message) noexcept;

// The dots per inch a window is laid out for: its monitor's, for a program
// aware of each monitor's DPI (GetDpiForWindow, Windows 10 1607); none
// before, where the system's DPI holds for every window.
std::optional<int> DpiOfWindow(HWND window) noexcept;
// The effective dots per inch of a monitor (GetDpiForMonitor, Windows 8.1);
// none before.
std::optional<int> DpiOfMonitor(HMONITOR monitor) noexcept;
// The window rectangle that holds the client rectangle with a frame of that
// style at that DPI: its caption and borders sized for that DPI where
// Windows can say so (AdjustWindowRectExForDpi, Windows 10 1607), else as
// the system's DPI makes them.
RECT FrameAround(const RECT& client, DWORD style, DWORD exStyle, int dpi) noexcept;

// Deletes the key below the parent in the view given
// (RegDeleteKeyEx; on 32-bit XP, which has one view, RegDeleteKey).
LONG DeleteRegistryKey(HKEY parent, const std::wstring& path, REGSAM view) noexcept;

// The SHA-256 of the bytes given piece by piece: CNG (bcrypt.dll) where it
// is, else CryptoAPI's AES provider, which has SHA-256 from XP SP3 on.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    bool Add(const void* data, unsigned long size);
    // The digest as lower-case hex digits; empty when hashing failed.
    std::wstring Finish();

private:
    struct State;
    State* state_;
};

// The name the shell gives an ID list for editing, else for display
// (SHGetNameFromIDList; on XP, IShellFolder::GetDisplayNameOf).
std::wstring NameOfIdList(const void* idList);

}  // namespace kb
