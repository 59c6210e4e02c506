#pragma once
// A column-wise table of texts: row i is the i-th text of every column.
// Rows are only appended, tables only cleared as a whole.
#include <cstddef>
#include <string>
#include <vector>

namespace kb {

class TextTable {
public:
    explicit TextTable(std::size_t columnCount) : columns_(columnCount) {}

    std::size_t ColumnCount() const noexcept { return columns_.size(); }
    std::size_t RowCount() const noexcept { return columns_.front().size(); }

    void Clear() noexcept;
    // The row has one text per column, in column order.
    void Append(const std::vector<std::wstring>& row);

    const std::wstring& Cell(std::size_t row, std::size_t column) const {
        return columns_.at(column).at(row);
    }
    void SetCell(std::size_t row, std::size_t column, std::wstring text) {
        columns_.at(column).at(row) = std::move(text);
    }

    // The first row whose cell in the column equals the text, ignoring
    // letter case as the user's locale pairs letters; -1 when none.
    int FindIgnoringCase(std::size_t column, const std::wstring& text) const;
    // Whether any row matches so; an exact match is looked for first, as
    // that is the usual case and far cheaper than a locale comparison.
    bool ContainsIgnoringCase(std::size_t column, const std::wstring& text) const;

private:
    std::vector<std::vector<std::wstring>> columns_;
};

// Column numbers of the six startup tables.
namespace RunCol {
inline constexpr std::size_t Name = 0, Command = 1, Location = 2, ListIndex = 3, Count = 4;
}
namespace DisabledRunCol {
inline constexpr std::size_t Item = 0, HKey = 1, Command = 2, Key = 3, ListIndex = 4, Count = 5;
}
namespace FolderCol {
inline constexpr std::size_t Name = 0, Target = 1, Location = 2, ListIndex = 3, Count = 4;
}
namespace DisabledFolderCol {
inline constexpr std::size_t Item = 0, StoreKeyPath = 1, Command = 2, Location = 3, Backup = 4,
                             Path = 5, ListIndex = 6, Count = 7;
}

// The text of a row that no list row shows.
inline const std::wstring kNoListIndex = L"-1";

}  // namespace kb
