#pragma once
// What the user chose to happen to a change, and the answer about one
// change: words the startup entries and the start pages share.

namespace kb {

enum class Policy { DisableSilently = 0, Ask = 1, Allow = 2 };

// The answer about one change: the prompt's Disable, Enable and Cancel.
enum class Decision { Disable, Allow, Leave };

}  // namespace kb
