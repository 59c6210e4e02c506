#include "app/services/FindingWords.h"

#include "platform/Error.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

std::wstring Quoted(const Finding& f) {
    return L"'" + Showable(f.item) + L"' (" + Showable(f.location) + L")";
}

std::wstring WhyOf(const Finding& f) {
    return f.result ? WhyNotMoved(*f.result) : std::wstring(L"it cannot be moved");
}

// What a failure was doing, with Windows' reason where it gave a code.
std::wstring WhatItMet(const Finding& f) {
    const std::wstring doing = Showable(f.reason);
    if (f.code == ERROR_SUCCESS) return doing;
    return (doing.empty() ? L"" : doing + L": ") + SystemErrorText(f.code);
}

std::wstring Places(Finding::Whose whose) {
    switch (whose) {
    case Finding::Whose::Machine: return L"the machine's places";
    case Finding::Whose::User: return L"your own places";
    case Finding::Whose::Both: return L"the machine's places and of your own places";
    }
    return L"";
}

std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring joined;
    for (const std::wstring& name : names) joined += (joined.empty() ? L"" : L", ") + Showable(name);
    return joined;
}

}  // namespace

std::wstring WordsOf(const Finding& f) {
    using Kind = Finding::Kind;
    // No default: a kind without words does not compile.
    switch (f.kind) {
    case Kind::StartupFolderMoved:
        return std::wstring(f.whose == Finding::Whose::Machine ? L"The all-users Startup folder"
                                                               : L"The Startup folder") +
               L" is now " + Showable(f.location) + L".";
    case Kind::StartupFolderUnreachable:
        return std::wstring(f.whose == Finding::Whose::Machine ? L"The all-users Startup folder"
                                                               : L"The Startup folder") +
               (f.location.empty() ? std::wstring(L" can no longer be found")
                                   : L" is now set to " + Showable(f.location) + L", which cannot be reached") +
               L"; Keepboot watches it again once Windows can find it.";
    case Kind::RecordForged:
        return L"Keepboot's record of your entries was changed by another program while Keepboot was not running "
               L"(or by Keepboot without administrator rights): it is not trusted, and what your places hold now is "
               L"known from now on.";
    case Kind::RecordVanished:
        return L"Keepboot's record of your entries was removed since Keepboot last ran: what your places hold now "
               L"is known from now on.";
    case Kind::StartPageNotPutBack:
        return Showable(f.item) + L" changed to \"" + Showable(f.found) +
               L"\"; it cannot be put back (its key does not open for writing), and stays as it is.";
    case Kind::LogonValueRefused:
        return Quoted(f) + L" changed to \"" + Showable(f.found) +
               L"\"; it needs administrator rights to be put back, and stays as it is.";
    case Kind::LogonValueNamesMissing:
        return Quoted(f) + L" changed to \"" + Showable(f.found) + L"\"; what it held before names " +
               Joined(f.names) + L", which is not there, so it is not put back: you are asked instead.";
    case Kind::NeedsAdministrator:
        return Quoted(f) + L" needs administrator rights to be disabled; it stays where it is.";
    case Kind::ChangedAndDisabled:
        return Quoted(f) + L" changed to start " + Showable(f.found) + L" instead of " + Showable(f.before) +
               L"; it was disabled.";
    case Kind::PlaceUnreadable:
        return L"Cannot read " + Showable(f.location) + L": " + Showable(f.reason) +
               L". What it held before stays guarded.";
    case Kind::NotText:
        return L"Invalid data type for '" + Showable(f.item) + L"'";
    case Kind::CouldNotDisable:
        return L"Cannot disable " + Quoted(f) + L": " + WhyOf(f) + L"; it stays where it is.";
    case Kind::OwnFolderRefused:
        return L"The copies of disabled all-users Startup files are not kept in Keepboot's own folder: " +
               Showable(f.reason) + L". Such files stay where they are until it can be used.";
    case Kind::RecordBroken:
        return L"Keepboot's record of what it knew of " + Places(f.whose) +
               L" could not be read whole; it starts again from what they hold now.";
    case Kind::FirstStart:
        return std::wstring(kFirstStartNotice) + L" what Keepboot knows of " + Places(f.whose) +
               L" starts from what they hold now, and is kept from now on.";
    case Kind::RecordNotKept:
        return L"Keepboot cannot write its record of the entries it knows (" + WhatItMet(f) +
               L"); it tries again at each check, and until then what it learnt since is not kept for its next start.";
    case Kind::LogonValueNotPutBack:
        return Quoted(f) + L" changed to \"" + Showable(f.found) + L"\" and could not be put back (" +
               WhatItMet(f) + L"); it stays as it is.";
    case Kind::StartPageNotWrittenBack:
        return Showable(f.item) + L" was allowed as \"" + Showable(f.found) +
               L"\", but it could not be written back: " + Showable(f.reason) + L".";
    case Kind::MoveNotMadeWhole:
        return L"A move of " + Quoted(f) + L" was cut short and cannot be made whole now: " + WhyOf(f) + L".";
    case Kind::MoveFinished:
        return L"A move of " + Quoted(f) + L" was cut short when Keepboot last ended; it was finished.";
    case Kind::MoveUndone:
        return L"A move of " + Quoted(f) +
               L" was cut short when Keepboot last ended; it was undone, and the entry stays disabled.";
    case Kind::MachineUnrecorded:
        return L"Keepboot runs without administrator rights, so it cannot keep its record of the machine's places: "
               L"at each start it compares them with the record it last kept as administrator, or takes them as "
               L"they are if there is none. Running Keepboot once as administrator keeps it.";
    case Kind::ForeignKey:
        return L"The key " + Showable(f.location) +
               L" was not written by Keepboot, though it is among Keepboot's own; it is left alone and not used.";
    }
    return L"";  // not reached: every kind is above
}

}  // namespace kb
