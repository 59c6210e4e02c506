#include "app/Telling.h"

#include <variant>

#include "app/TrayIcon.h"
#include "app/services/FindingWords.h"
#include "platform/AppTitle.h"
#include "platform/Overloaded.h"
#include "app/Texts.h"

namespace kb {

void Telling::Tell(const WatchEvent& event) {
    std::visit(Overloaded{
                   [this](const CheckOutcome& outcome) {
                       CheckOutcome said = outcome;
                       said.unanswered = said.asked && answeredBySessionEnd_();
                       history_.RecordOutcome(said);
                   },
                   [this](const StartPageChange& change) { history_.RecordStartPage(change); },
                   [this](const LogonValueChange& change) {
                       history_.RecordLogonValue(change);
                       // Found so as the watch started: said like a notice.
                       if (change.kind == LogonValueChange::Kind::NotWindowsOwn) {
                           const LogonValue& value = LogonValues().at(change.index);
                           Balloon(UiText(IDS_BALLOON_LOGON_VALUE,
                                          {value.name, value.Location(), WordsOf(HowItDiffers(value, change.found))}));
                       }
                   },
                   [this](const Finding& finding) { Notice(WordsOf(finding)); },
               },
               event);
}

void Telling::Notice(const std::wstring& text) {
    history_.RecordNotice(text);
    Balloon(text);
}

void Telling::Balloon(const std::wstring& text) {
    if (TrayIcon* icon = icon_()) icon->ShowBalloon(kAppTitle, text);
}

}  // namespace kb
