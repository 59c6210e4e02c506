#pragma once
// Keepboot's own keeping place for item-place entries, below a place's root
// (kKeptKey): one numbered subkey each, naming the entry's place, name and
// kind, with the entry itself in its "Entry" subkey (a subkey entry is that
// key; a value entry is a value of it). Only the moves of item places use it.
#include <windows.h>

#include <string>
#include <vector>

#include "places/StartupPlaces.h"

namespace kb {

struct KeptRecord {
    unsigned long number = 0;
    std::wstring placePath;  // the place's key path below the root
    std::wstring name;
    bool isKey = false;

    // Whether it is an entry the place may hold: its key, a kind that place
    // has, a name it admits.
    bool Fits(const ItemPlace& place) const;
};

// Below the root: the record's key, and the key that is (or holds) the entry.
std::wstring KeptRecordPath(unsigned long number);
std::wstring KeptEntryPath(unsigned long number);

// Every record, by number; raises when the keeping place cannot be listed.
// A key there that is no record (another program's) is skipped, its name
// added to foreign.
std::vector<KeptRecord> ReadKeptRecords(HKEY root, REGSAM view, std::vector<std::wstring>* foreign = nullptr);
// A number no key there has (see FreeNumber).
unsigned long NextKeptNumber(HKEY root, REGSAM view);
// Writes the record's own values (not the entry). ERROR_SUCCESS or why not.
LONG WriteKeptRecord(HKEY root, REGSAM view, const KeptRecord& record);
// Removes the record once its entry has gone from it.
void DropKeptRecordIfEmpty(HKEY root, REGSAM view, unsigned long number);

}  // namespace kb
