#pragma once
// What became of a move; the edge says why in words.

namespace kb {

enum class MoveResult {
    Moved,
    Changed,     // no longer what was listed: left alone, a new reading shows it
    CannotMove,  // stays where it is: the store cannot hold it, or give it back
    // Stays where it is: this process may not write where the move writes
    // (a machine place, the shared store) without administrator rights.
    NeedsAdministrator,
    // Stays where it is: another entry holds its name where it would go.
    NameTaken,
    // Stays where it is: its place, or where it would go, is a link to
    // somewhere else, which a move never follows.
    Link,
    // A logon value stays as it is: Windows' own value names a program that
    // is not there.
    OwnProgramMissing,
    // Stays stored: it is another user's, and goes back only to them.
    AnotherUsers,
    // Stays as it is: Windows needs it to start.
    WindowsNeedsIt,
};

}  // namespace kb
