#pragma once
// Reading the Run-type keys and the Startup folders; the store's own
// reading lives beside its layout. A reading is whole or it raises: a key
// that opened but could not be listed to its end makes no partial snapshot.
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "places/Entries.h"
#include "places/LivePlaces.h"
#include "places/ShortcutFiles.h"

namespace kb {

// Which live places a reading covers, by their ids in LivePlaces(): all of
// them unless told. A Run-type key covers the values moved aside below it.
struct PlaceSelection {
    std::vector<bool> selected = std::vector<bool>(LivePlaces().size(), true);

    static PlaceSelection None();
    bool Has(PlaceId id) const { return id < selected.size() && selected[id]; }
    void Add(PlaceId id) { selected.at(id) = true; }
    void Drop(PlaceId id) { selected.at(id) = false; }
    bool Empty() const;
    bool All() const;
    // These places less those the skipped list says could not be read.
    PlaceSelection ReadWhole(const StartupFolders& folders,
                             const std::vector<SkippedValue>& skipped) const;
    // Calls what(id, place) for each selected place of the kind.
    template <typename Kind, typename What>
    void ForEach(const What& what) const {
        const std::vector<LivePlace>& places = LivePlaces();
        for (PlaceId id = 0; id < places.size(); ++id)
            if (const Kind* place = std::get_if<Kind>(&places[id]); place && Has(id)) what(id, *place);
    }
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

// Called now and then while a long reading runs (the owner may handle its
// messages); answers false to stop it.
using Breather = std::function<bool()>;
// A reading stopped by its breather: nothing of it is to be used.
struct ReadingStopped {};

// When a Run-type key and its Task Manager switches were last written and
// how many values the key holds: a full check passes over a key whose
// stamp is the one of its last whole reading (its change notification
// covers what happens in between).
struct PlaceStamp {
    std::optional<RegKey::Stamp> key, switches;  // none for a key that is not there
    bool operator==(const PlaceStamp&) const = default;
};
PlaceStamp StampOf(const RunKeyPlace& place);

// The selected keys and folders. Keys and folders that do not exist
// contribute nothing; values that are not text are skipped and noted; every
// file of a Startup folder is an entry, a shortcut the shell cannot read
// and a file of any other kind included. A place that is there but
// could not be read contributes nothing and is noted as unreadable: the
// others are read all the same.
// The single logon values there that are not Windows' own, as they are now
// (one that is missing runs nothing Windows' own would not).
std::vector<LogonValueEntry> ReadLogonValueEntries();

LiveEntries ReadLiveEntries(const StartupFolders& folders, std::vector<SkippedValue>& skipped,
                            const PlaceSelection& selection = {},
                            ShortcutCache* cache = nullptr, const Breather& breathe = {});

}  // namespace kb
