#include "startup/TextTable.h"

#include <windows.h>

#include <stdexcept>

namespace kb {

void TextTable::Clear() noexcept {
    for (auto& column : columns_) column.clear();
}

void TextTable::Append(const std::vector<std::wstring>& row) {
    if (row.size() != columns_.size()) throw std::invalid_argument("row does not fit the table");
    // Make room everywhere first, so a failed allocation leaves the columns in step.
    for (auto& column : columns_) column.reserve(column.size() + 1);
    for (std::size_t c = 0; c < row.size(); ++c) columns_[c].push_back(row[c]);
}

int TextTable::FindIgnoringCase(std::size_t column, const std::wstring& text) const {
    const auto& cells = columns_.at(column);
    for (std::size_t row = 0; row < cells.size(); ++row) {
        if (::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, cells[row].c_str(),
                             static_cast<int>(cells[row].size()), text.c_str(),
                             static_cast<int>(text.size())) == CSTR_EQUAL)
            return static_cast<int>(row);
    }
    return -1;
}

}  // namespace kb

namespace kb {

bool TextTable::ContainsIgnoringCase(std::size_t column, const std::wstring& text) const {
    for (const std::wstring& cell : columns_.at(column))
        if (cell == text) return true;
    return FindIgnoringCase(column, text) >= 0;
}

}  // namespace kb
