#pragma once
// What the user chose to happen to a change: the item index of one of the
// settings page's radio groups.

namespace kb {

enum class Policy { DisableSilently = 0, Ask = 1, Allow = 2 };

// An index with no item selected (-1), or past the items, allows.
inline Policy PolicyFromIndex(int index) noexcept {
    return index == 0 ? Policy::DisableSilently : index == 1 ? Policy::Ask : Policy::Allow;
}

// The answer about one change: the prompt's Disable, Enable and Cancel.
enum class Decision { Disable, Allow, Leave };

}  // namespace kb
