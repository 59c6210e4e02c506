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

#include "policy/Policy.h"

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
// not open or the value is not text.
std::optional<std::wstring> ReadStartPage(std::size_t index);

// Writes the text into the value, keeping its type (string or expandable
// string). False when the key does not open: a key that does not exist is
// not created. Raises when the write is refused.
bool WriteStartPage(std::size_t index, const std::wstring& text);

// The text defended for each value; none for a value that is not defended.
using StartPageReferences = std::array<std::optional<std::wstring>, kStartPageCount>;

// One check: each defended value that reads differently from its reference
// is put back, asked about or accepted, as the policy says. Gives back the
// values accepted, with their new text, which is their reference from now
// on. A value that cannot be read, or put back, is met again next time.
// Told of each changed value: its index, the value found, the one defended,
// what became of it, and whether the user was asked.
using Told = std::function<void(std::size_t index, const std::wstring& found,
                                const std::wstring& defended, Decision decision, bool asked)>;
std::vector<std::pair<std::size_t, std::wstring>> CheckStartPages(
    Policy policy, const StartPageReferences& references,
    const std::function<Decision(const std::wstring& question)>& ask, const Told& told = {});

}  // namespace kb
