#pragma once
// The Startup folders' files: every file Windows starts at logon is an
// entry, shortcut or not, read with Task Manager's switch beside it; a
// disabled one moves into the store with a backup copy.
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kinds/Kind.h"
#include "places/EntryRecords.h"

namespace kb {

struct StartupFiles {
    using Place = StartupFolderPlace;
    using Entry = ShortcutEntry;

    // The all-users folder, then the user's.
    static std::vector<Place> Places(bool) { return {Place{true}, Place{false}}; }
    static std::wstring LocationOf(const Place& place, const StartupFolders& folders) {
        return place.FolderIn(folders);
    }
    static ChangeWatch::Place WatchOf(const Place& place, const StartupFolders& folders);
    static std::optional<PlaceStamp> StampOf(const Place&) { return std::nullopt; }
    // A folder that is there but could not be listed (or is no folder) is
    // noted as unreadable and gives nothing; with it, what the other lister
    // moved aside into the folder's own subfolder, listed as disabled.
    static void Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into);
    // Into the store; one Task Manager switched off is switched on again,
    // one moved aside comes back.
    static MoveResult Move(const Entry& entry, const StartupFolders& folders);
    static bool WritesMachinePlaces(const Entry& entry);
    static constexpr int kPassOrder = 2;
    // The first word of its entries' lines in the record.
    static constexpr const wchar_t* kRecordWord = L"file";
    static EntryText TextOf(const Entry& entry);
    static EntryDetails DetailsOf(const Entry& entry);
};

// What the shell read of each shortcut: one whose file holds the very
// bytes it held (time and size alone can be set back by anyone) is not
// opened through the shell again. A shortcut that could not be read is
// read again every time.
class ShortcutCache {
public:
    struct Reading {
        FILETIME written{};
        unsigned long long size = 0;
        std::optional<std::string> bytes;  // none for a file too big to keep
        std::optional<ShellLinkData> link;
    };
    using Folder = std::map<std::wstring, Reading>;  // by file name

    // The folder's readings, to look up and replace as one.
    Folder Take(const std::wstring& folder);
    void Put(const std::wstring& folder, Folder readings);

private:
    std::map<std::wstring, Folder> folders_;
};

bool Starts(const ShortcutEntry& e);
std::wstring IdentityOf(const ShortcutEntry& e);
std::wstring KnownStateOf(const ShortcutEntry& e);
bool OfTheMachine(const ShortcutEntry& e);
std::wstring PlaceReadOf(const ShortcutEntry& e, const StartupFolders& folders);
bool SameEntry(const ShortcutEntry& a, const ShortcutEntry& b, const StartupFolders& folders);
std::wstring IndexKey(const ShortcutEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const ShortcutEntry& e, const StartupFolders& folders);
std::optional<ShortcutEntry> FromRecordLine(std::type_identity<ShortcutEntry>, const std::vector<std::wstring>& line,
                                            const StartupFolders& folders);
void KnowMoved(const ShortcutEntry& e, const StartupFolders& folders, LiveEntries& known);
std::vector<std::wstring> KeyTextsOf(const ShortcutEntry& e);
bool HeldAside(const ShortcutEntry& e);

// A file back in its Startup folder, added to the known entries as it
// reads now.
void KnowFileBack(const std::wstring& location, const std::wstring& fileName, const StartupFolders& folders,
                  LiveEntries& known);

}  // namespace kb
