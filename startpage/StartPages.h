#pragma once
// The four Internet Explorer start-page values: read, written, and guarded
// against a reference text for each.
#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Error.h"
#include "policy/Policy.h"
#include "places/Entries.h"

namespace kb {

struct StartPageValue {
    HKEY root;
    const wchar_t* name;
    const wchar_t* caption;  // names the value on the page and in the question
};

inline constexpr std::size_t kStartPageCount = 4;
// In their fixed order. All four live in kStartPageKey of their root.
extern const std::array<StartPageValue, kStartPageCount> kStartPageValues;
inline constexpr wchar_t kStartPageKey[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Main";

// The value's text (a missing value reads as empty); none when its key does
// not open, the value cannot be read or is not text.
std::optional<std::wstring> ReadStartPage(std::size_t index);

// Writes the text into the value, keeping its type (string or expandable
// string). Windows' code when the key does not open (a key that does not
// exist is not created), else ERROR_SUCCESS. Raises when the write is
// refused.
[[nodiscard]] LONG WriteStartPage(std::size_t index, const std::wstring& text);

// The text defended for each value; none for a value that is not defended.
using StartPageReferences = std::array<std::optional<std::wstring>, kStartPageCount>;

// The texts defended at the end of the last run, kept as records (the
// machine's values below HKEY_LOCAL_MACHINE, which only administrators
// write; the user's below HKEY_CURRENT_USER); the pages of a root with no
// record as they are now; none when nothing was kept.
std::optional<StartPageReferences> RestoreDefended();
void KeepDefended(const StartPageReferences& references);

// What became of one changed value.
struct StartPageChange {
    std::size_t index;
    std::wstring found, defended;
    Decision decision;  // Allow: found is defended from now on
    bool asked;
    // This process may not write the value, or the write failed: nothing
    // was put back, and nobody was asked.
    bool notPutBack = false;
    bool atStart = false;  // found at start: it changed while Keepboot was not running
    // Of an Allow: why the value could not be written back as it was
    // allowed (what was being done, and Windows' code); none when it was.
    // The answer stands all the same.
    std::optional<Error> notWrittenBack = {};
};

// One check: each defended value that reads differently from its reference
// is put back, asked about or accepted, as the policy says. A value that
// cannot be read, or put back, is met again next time.
std::vector<StartPageChange> CheckStartPages(Policy policy, const StartPageReferences& references,
                                             const AskAboutValue& ask);

}  // namespace kb
