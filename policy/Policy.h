#pragma once
// What the user chose to happen to a change, and the answer about one
// change: words the startup entries and the start pages share.

namespace kb {

enum class Policy { DisableSilently = 0, Ask = 1, Allow = 2 };

// The answer about one change: the prompt's Disable, Enable and Cancel.
// Later: the question waits its turn, unanswered; the change stays as it is,
// is not on record and is met again at the next check, which may bring the
// answer.
enum class Decision { Disable, Allow, Leave, Later };

}  // namespace kb
