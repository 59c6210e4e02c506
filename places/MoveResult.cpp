#include "places/MoveResult.h"

namespace kb {

std::wstring WhyNotMoved(MoveResult result) {
    switch (result) {
    case MoveResult::Moved: return L"it was moved";
    case MoveResult::Changed: return L"it changed or went since it was listed";
    case MoveResult::NeedsAdministrator: return L"it needs administrator rights";
    case MoveResult::NameTaken: return L"another entry has its name where it would go";
    case MoveResult::Link: return L"its place is a link to somewhere else, which is never followed";
    case MoveResult::AnotherUsers: return L"it is another user's, and goes back only to them";
    case MoveResult::OwnProgramMissing:
        return L"what Windows' own value names is not there, and it would keep you from logging on";
    case MoveResult::CannotMove: break;
    }
    return L"it could not be moved whole (a write was refused, or its record is incomplete)";
}

}  // namespace kb
