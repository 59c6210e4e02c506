#pragma once
// One line of tab-separated fields, as the history file and the guard's
// records keep them: a tab, line break, NUL or backslash inside a field is
// written as an escape, so a record is always one line.
#include <string>
#include <vector>

namespace kb {

std::wstring EscapedField(const std::wstring& text);
// The fields of a line, their escapes undone.
std::vector<std::wstring> SplitFields(const std::wstring& line);

}  // namespace kb
