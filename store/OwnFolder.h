#pragma once
// Keepboot's own folder for the copies of the shared store's disabled files
// (%ProgramData%\Keepboot\Backup), with its parent: any user may make
// folders in %ProgramData%, and owns what they make, so one found there
// proves nothing. Keepboot makes each with rights that let only
// administrators and the system change it (users read), and knows it after
// by a mark it leaves there, a token only administrators may read, kept in
// the administrators' record. A folder found there that it did not make,
// or that is a link, is not used.
#include <optional>
#include <string>

namespace kb {

// Why a folder is not Keepboot's own, worded where it is shown.
struct OwnFolderRefusal {
    enum class Why {
        NoPlace,             // the path names no folder in a parent
        Link,                // it is a link to another place
        NotAFolder,          // it is a file
        SomeoneElses,        // made by someone else than Keepboot
        NeedsAdministrator,  // it cannot be made without administrator rights
        CannotMake,          // it cannot be made
        CannotKnow,          // made, but it cannot be known as Keepboot's own
    };
    Why why = Why::NoPlace;
    std::wstring folder;
    bool operator==(const OwnFolderRefusal&) const = default;
};

// Makes the folder and its parent as Keepboot's own, or finds them so. Why
// not, when either is not Keepboot's.
std::optional<OwnFolderRefusal> MakeOwnFolder(const std::wstring& folder);

// Why the last folder was refused, once for each new reason; none else.
std::optional<OwnFolderRefusal> TakeOwnFolderRefusal();

}  // namespace kb
