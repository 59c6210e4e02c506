#pragma once
// The Run-type keys' values: each value is an entry, read with Task
// Manager's switch beside it; a disabled one moves into the store.
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "kinds/Kind.h"
#include "places/EntryRecords.h"

namespace kb {

struct RunValues {
    using Place = RunKeyPlace;
    using Entry = RunValueEntry;

    static std::vector<Place> Places(bool windows64) { return RunKeyPlacesFor(windows64); }
    static std::wstring LocationOf(const Place& place, const StartupFolders&) { return place.Location(); }
    static ChangeWatch::Place WatchOf(const Place& place, const StartupFolders& folders);
    // Thousands of values allowed are not read again every few seconds.
    static std::optional<PlaceStamp> StampOf(const Place& place);
    // Values that are not text are skipped and noted; a key that is there
    // but refuses this process, or could not be listed to its end, is noted
    // as unreadable and gives nothing.
    static void Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into);
    // Into the store; one Task Manager switched off is switched on again.
    static MoveResult Move(const Entry& entry, const StartupFolders& folders);
    static bool WritesMachinePlaces(const Entry& entry);
    static constexpr int kPassOrder = 0;
    // The first word of its entries' lines in the record.
    static constexpr const wchar_t* kRecordWord = L"value";
    static EntryText TextOf(const Entry& entry);
    static EntryDetails DetailsOf(const Entry& entry);
};

bool Starts(const RunValueEntry& e);
std::wstring IdentityOf(const RunValueEntry& e);
std::wstring KnownStateOf(const RunValueEntry& e);
bool OfTheMachine(const RunValueEntry& e);
std::wstring PlaceReadOf(const RunValueEntry& e, const StartupFolders& folders);
bool SameEntry(const RunValueEntry& a, const RunValueEntry& b, const StartupFolders& folders);
std::wstring IndexKey(const RunValueEntry& e, const StartupFolders& folders);
std::vector<std::wstring> RecordLine(const RunValueEntry& e, const StartupFolders& folders);
std::optional<RunValueEntry> FromRecordLine(std::type_identity<RunValueEntry>, const std::vector<std::wstring>& line,
                                            const StartupFolders& folders);
void KnowMoved(const RunValueEntry& e, const StartupFolders& folders, LiveEntries& known);
std::vector<std::wstring> KeyTextsOf(const RunValueEntry& e);
bool HeldAside(const RunValueEntry& e);

}  // namespace kb
