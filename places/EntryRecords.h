#pragma once
// The records of the first kinds of place and of their entries: the Run-type
// keys' values, the Startup folders' files, and the item places' entries.
// They live below the store, whose machinery (its layout, its journal, the
// backups, moving a key whole) moves them; what each kind is to the rest of
// the program is its module in kinds/.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "places/StartupPlaces.h"
#include "shelllink/ShellLink.h"

namespace kb {

// A Startup folder, by whose it is: where it is now comes from the shell's
// StartupFolders, since it can move.
struct StartupFolderPlace {
    bool common = false;  // the all-users folder; else the user's own

    const wchar_t* LocationName() const { return common ? kCommonStartupLocation : kStartupLocation; }
    const std::wstring& FolderIn(const StartupFolders& folders) const {
        return common ? folders.commonStartup : folders.userStartup;
    }
    bool operator==(const StartupFolderPlace&) const = default;
};

// A value in a Run-type key.
struct RunValueEntry {
    RunKeyPlace place;
    std::wstring name;     // empty for the key's unnamed default value
    std::wstring command;  // unexpanded
    DWORD type = REG_SZ;   // REG_SZ or REG_EXPAND_SZ
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    // The value's bytes when the command does not hold them all (data after
    // an embedded NUL, no closing NUL): kept so they come back exactly.
    std::vector<BYTE> raw;
};

// A file in a Startup folder: Windows starts every one at logon, shortcut
// or not (desktop.ini excepted).
struct ShortcutEntry {
    std::wstring location;  // "Common Startup" or "Startup"
    std::wstring path;      // the file's full path
    std::wstring name;      // the file name without its last extension
    std::optional<ShellLinkData> link;  // a shortcut, as the shell read it
    bool disabledByTaskManager = false;  // live, but Windows starts it not
    std::wstring fileName;  // exactly, extension and letter case included
    // What it starts, as the list shows it: a shortcut's target and
    // arguments, else the name of what it points at, else the file itself.
    std::wstring command;
    // In the folder's kAsideKey subfolder, where the other lister moves what
    // it disables: listed as disabled; moving it brings it back.
    bool aside = false;
};

// Where an entry of an item place is: live in its place; moved aside into
// the place's kAsideKey subkey, where the other lister looks; or kept in
// Keepboot's own key (kKeptKey) when the aside name was taken or the place
// keeps nothing aside.
enum class ItemSpot { Live, Aside, Kept };

// An entry of an item place, wherever it is; or a value moved aside below a
// Run-type key.
struct AsideEntry {
    ItemPlace place;
    std::wstring name;   // the subkey's or the value's, exactly
    bool isKey = false;  // a subkey with everything below it
    // What it starts: a value's text, a component's StubPath, a step's
    // commands and the libraries its Depend subkey loads.
    std::wstring command;
    ItemSpot spot = ItemSpot::Live;
    unsigned long kept = 0;  // the number of its subkey below kKeptKey, when kept

    bool Enabled() const noexcept { return spot == ItemSpot::Live; }
};

}  // namespace kb
