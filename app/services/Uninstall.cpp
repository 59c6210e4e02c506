#include "app/services/Uninstall.h"

#include "app/Texts.h"
#include "app/services/ElevatedRequest.h"
#include "app/services/SelfStart.h"
#include "app/services/FindingWords.h"
#include "app/services/HistoryKeeper.h"
#include "app/services/History.h"
#include "guard/HandBack.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

// What the history says of one entry; nothing for one that was not this
// run's to hand back.
std::wstring WordsOf(const HandedBack& e) {
    using Outcome = HandedBack::Outcome;
    const std::wstring item = Showable(e.item), location = Showable(e.location);
    switch (e.outcome) {
    case Outcome::HandedBack: return UiText(IDS_HANDED_BACK, {item, location});
    case Outcome::NameTaken: return UiText(IDS_HAND_BACK_NAME_TAKEN, {item, location});
    case Outcome::NotMoved: return UiText(IDS_HAND_BACK_NOT_MOVED, {item, location, WhyNotMoved(e.why)});
    case Outcome::NotReadBack: return UiText(IDS_HAND_BACK_NOT_READ_BACK, {item, location});
    case Outcome::NoSwitch:
    case Outcome::NotTheirs: break;
    }
    return {};
}

}  // namespace

int RunHandBack(const std::vector<std::wstring>& arguments) noexcept {
    // As the system, the user's keys and folder are the system's own: only
    // the machine's places are its to hand back.
    const bool machineOnly =
        RunsAsTheSystem() || (arguments.size() > 1 && arguments[1] == kHandBackMachineOnly);
    // Nothing escapes to a box: the installer runs this where nobody could
    // close one.
    try {
        HistoryKeeper history;
        history.Open(DefaultHistoryPath());
        int stays = 0;
        try {
            for (const HandedBack& e : HandBackToWindows(FindStartupFolders(), machineOnly)) {
                if (const std::wstring words = WordsOf(e); !words.empty()) history.RecordNotice(words);
                using Outcome = HandedBack::Outcome;
                if (e.outcome != Outcome::HandedBack && e.outcome != Outcome::NotTheirs &&
                    e.outcome != Outcome::NotReadBack)
                    ++stays;
            }
        } catch (...) {
            history.RecordNotice(UiText(IDS_HAND_BACK_FAILED));
            return -1;
        }
        // The last words of an uninstall, in the event log too.
        if (stays > 0) history.RecordNotice(UiText(IDS_HAND_BACK_STAYS, {std::to_wstring(stays)}));
        return stays;
    } catch (...) {
        return -1;
    }
}

int RunUninstall() noexcept {
    if (!RunsAsTheSystem() && !RunsUnderWine()) return 3;
    bool removed = false;
    try {
        removed = RemoveEverySelfStart();
    } catch (...) {
    }
    if (!removed) {
        try {
            HistoryKeeper history;
            history.Open(DefaultHistoryPath());
            history.RecordNotice(UiText(IDS_LOGON_TASKS_LEFT));
        } catch (...) {
        }
    }
    RunHandBack({kHandBackArgument, kHandBackMachineOnly});
    return 0;
}

}  // namespace kb
