#pragma once
// Keepboot's own records below a root, in its key Software\Keepboot\Known:
// each one value, written in one piece, so a kill at any moment leaves the
// last whole version. A record is lines of text fields with a checksum: one
// that does not read back whole is said to be broken, never taken for an
// empty one.
#include <windows.h>

#include <string>
#include <vector>

namespace kb {

inline constexpr wchar_t kRecordsKey[] = L"Software\\Keepboot\\Known";

using RecordLines = std::vector<std::vector<std::wstring>>;

// Forged and Vanished only below HKEY_CURRENT_USER, and only where this
// process has administrator rights (see RecordSeal.h): a record that fails
// its seal, or is unsealed or gone after one was sealed.
enum class RecordState { Read, Missing, Broken, Forged, Vanished };

// The record's lines, in the machine's view for HKEY_LOCAL_MACHINE.
RecordState ReadRecord(HKEY root, const wchar_t* name, RecordLines& lines);
// ERROR_SUCCESS, or why not (ERROR_ACCESS_DENIED where this process may
// not write below the root).
LONG WriteRecord(HKEY root, const wchar_t* name, const RecordLines& lines);

// Removes a record that is no longer kept; nothing when it is not there.
void ForgetRecord(HKEY root, const wchar_t* name);

// A registry value's state as one field, and back.
std::wstring FieldOf(DWORD type, const std::vector<BYTE>& bytes);
bool ParseField(const std::wstring& field, DWORD& type, std::vector<BYTE>& bytes);

}  // namespace kb
