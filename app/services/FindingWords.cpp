#include "app/services/FindingWords.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "app/Texts.h"
#include "platform/CurrentUser.h"
#include "platform/Error.h"
#include "platform/ShowableText.h"

namespace kb {

namespace {

std::wstring Quoted(const Finding& f) {
    return UiText(IDS_QUOTED_ITEM, {Showable(f.item), Showable(f.location)});
}

std::wstring WhyOf(const Finding& f) {
    return f.result ? WhyNotMoved(*f.result) : UiText(IDS_CANNOT_MOVE);
}

// What a failure was doing, with Windows' reason where it gave a code.
std::wstring WhatItMet(const Finding& f) {
    const std::wstring doing = Showable(f.reason);
    if (f.code == ERROR_SUCCESS) return doing;
    return (doing.empty() ? L"" : doing + L": ") + SystemErrorText(f.code);
}

// Why a place could not be read.
std::wstring WhyUnreadableText(WhyUnreadable why, DWORD code) {
    switch (why) {
    case WhyUnreadable::Denied: return UiText(IDS_UNREADABLE_DENIED);
    case WhyUnreadable::ValuesUnlisted: return UiText(IDS_UNREADABLE_VALUES);
    case WhyUnreadable::EntriesUnlisted: return UiText(IDS_UNREADABLE_ENTRIES);
    case WhyUnreadable::Unlisted: return UiText(IDS_UNREADABLE_UNLISTED);
    case WhyUnreadable::ListingFailed: return UiText(IDS_UNREADABLE_FAILED, {std::to_wstring(code)});
    case WhyUnreadable::NotAFolder: return UiText(IDS_UNREADABLE_NOT_FOLDER);
    case WhyUnreadable::FolderLink: return UiText(IDS_UNREADABLE_FOLDER_LINK);
    case WhyUnreadable::KeyLink: return UiText(IDS_UNREADABLE_KEY_LINK);
    }
    return UiText(IDS_UNREADABLE_UNLISTED);
}

// Why a folder is not Keepboot's own.
std::wstring WhyNotOwn(OwnFolderRefusal::Why why, const std::wstring& where) {
    using Why = OwnFolderRefusal::Why;
    const std::wstring folder = Showable(where);
    switch (why) {
    case Why::NoPlace: break;
    case Why::Link: return UiText(IDS_OWN_FOLDER_LINK, {folder});
    case Why::NotAFolder: return UiText(IDS_OWN_FOLDER_NOT_FOLDER, {folder});
    case Why::SomeoneElses: return UiText(IDS_OWN_FOLDER_SOMEONE_ELSES, {folder});
    case Why::NeedsAdministrator: return UiText(IDS_OWN_FOLDER_NEEDS_ADMINISTRATOR, {folder});
    case Why::CannotMake: return UiText(IDS_OWN_FOLDER_CANNOT_MAKE, {folder});
    case Why::CannotKnow: return UiText(IDS_OWN_FOLDER_CANNOT_KNOW, {folder});
    }
    return UiText(IDS_OWN_FOLDER_NO_PLACE);
}

std::wstring Places(Finding::Whose whose) {
    switch (whose) {
    case Finding::Whose::Machine: return UiText(IDS_MACHINE_PLACES);
    case Finding::Whose::User: return UiText(IDS_USER_PLACES);
    case Finding::Whose::Both: return UiText(IDS_BOTH_PLACES);
    }
    return L"";
}

std::wstring Joined(const std::vector<std::wstring>& names) {
    std::wstring joined;
    for (const std::wstring& name : names) joined += (joined.empty() ? L"" : L", ") + Showable(name);
    return joined;
}

}  // namespace

std::wstring WordsOf(const ValueQuestion& q) {
    using Kind = ValueQuestion::Kind;
    switch (q.kind) {
    case Kind::WillChange:
        if (q.location.empty()) return UiText(IDS_QUESTION_START_PAGE, {q.item, q.found});
        return UiText(IDS_QUESTION_VALUE, {q.item, q.location, q.found});
    case Kind::OwnBackOrKeep: return UiText(IDS_QUESTION_OWN_BACK, {q.item, q.location, q.found});
    case Kind::KeepOrLeave: return UiText(IDS_QUESTION_KEEP_OR_LEAVE, {q.item, q.location, q.found});
    }
    return L"";  // not reached: every kind is above
}

std::wstring WhyNotMoved(MoveResult result) {
    switch (result) {
    case MoveResult::Moved: return UiText(IDS_MOVED);
    case MoveResult::Changed: return UiText(IDS_MOVE_CHANGED);
    case MoveResult::NeedsAdministrator: return UiText(IDS_MOVE_NEEDS_ADMINISTRATOR);
    case MoveResult::NameTaken: return UiText(IDS_MOVE_NAME_TAKEN);
    case MoveResult::Link: return UiText(IDS_MOVE_LINK);
    case MoveResult::AnotherUsers: return UiText(IDS_MOVE_ANOTHER_USERS);
    case MoveResult::OwnProgramMissing: return UiText(IDS_MOVE_OWN_PROGRAM_MISSING);
    case MoveResult::WindowsNeedsIt: return UiText(IDS_MOVE_WINDOWS_NEEDS);
    case MoveResult::CannotMove: break;
    }
    return UiText(IDS_MOVE_NOT_WHOLE);
}

std::wstring WordsOf(const Finding& f) {
    using Kind = Finding::Kind;
    const bool common = f.whose == Finding::Whose::Machine;
    // No default: a kind without words does not compile.
    switch (f.kind) {
    case Kind::StartupFolderMoved:
        return UiText(common ? IDS_COMMON_STARTUP_MOVED : IDS_STARTUP_MOVED, {Showable(f.location)});
    case Kind::StartupFolderUnreachable:
        if (f.location.empty()) return UiText(common ? IDS_COMMON_STARTUP_GONE : IDS_STARTUP_GONE);
        return UiText(common ? IDS_COMMON_STARTUP_UNREACHABLE : IDS_STARTUP_UNREACHABLE, {Showable(f.location)});
    case Kind::RecordForged: return UiText(IDS_RECORD_FORGED);
    case Kind::RecordVanished: return UiText(IDS_RECORD_VANISHED);
    case Kind::StartPageNotPutBack:
        return UiText(IDS_START_PAGE_NOT_PUT_BACK, {Showable(f.item), Showable(f.found)});
    case Kind::LogonValueRefused: return UiText(IDS_LOGON_VALUE_REFUSED, {Quoted(f), Showable(f.found)});
    case Kind::LogonValueNamesMissing:
        return UiText(IDS_LOGON_VALUE_NAMES_MISSING, {Quoted(f), Showable(f.found), Joined(f.names)});
    case Kind::NeedsAdministrator: return UiText(IDS_NEEDS_ADMINISTRATOR, {Quoted(f)});
    case Kind::ChangedAndDisabled:
        return UiText(IDS_CHANGED_AND_DISABLED, {Quoted(f), Showable(f.found), Showable(f.before)});
    case Kind::PlaceUnreadable:
        return UiText(IDS_PLACE_UNREADABLE, {Showable(f.location), WhyUnreadableText(f.unreadable, f.code)});
    case Kind::NotText: return UiText(IDS_NOT_TEXT, {Showable(f.item)});
    case Kind::CouldNotDisable: return UiText(IDS_COULD_NOT_DISABLE, {Quoted(f), WhyOf(f)});
    case Kind::OwnFolderRefused: return UiText(IDS_OWN_FOLDER_REFUSED, {WhyNotOwn(f.ownFolder, f.location)});
    case Kind::RecordBroken: return UiText(IDS_RECORD_BROKEN, {Places(f.whose)});
    case Kind::FirstStart: return UiText(IDS_FIRST_START, {UiText(IDS_FIRST_START_MARK), Places(f.whose)});
    case Kind::RecordNotKept: return UiText(IDS_RECORD_NOT_KEPT, {WhatItMet(f)});
    case Kind::LogonValueNotPutBack:
        return UiText(IDS_LOGON_VALUE_NOT_PUT_BACK, {Quoted(f), Showable(f.found), WhatItMet(f)});
    case Kind::StartPageNotWrittenBack:
        return UiText(IDS_START_PAGE_NOT_WRITTEN_BACK, {Showable(f.item), Showable(f.found), WhatItMet(f)});
    case Kind::MoveNotMadeWhole: return UiText(IDS_MOVE_NOT_MADE_WHOLE, {Quoted(f), WhyOf(f)});
    case Kind::MoveFinished: return UiText(IDS_MOVE_FINISHED, {Quoted(f)});
    case Kind::MoveUndone: return UiText(IDS_MOVE_UNDONE, {Quoted(f)});
    case Kind::MachineUnrecorded: return UiText(IDS_MACHINE_UNRECORDED);
    case Kind::ForeignKey: return UiText(IDS_FOREIGN_KEY, {Showable(f.location)});
    }
    return L"";  // not reached: every kind is above
}

std::wstring WordsOf(const LogonDifference& d) {
    using Kind = LogonDifference::Kind;
    const std::wstring number = d.number ? std::to_wstring(*d.number) : UiText(IDS_DIFFERS_NOT_A_NUMBER);
    std::wstring programs;
    for (const std::wstring& program : d.programs) programs += (programs.empty() ? L"" : L", ") + Showable(program);
    const std::wstring text = d.text ? Showable(*d.text) : UiText(IDS_DIFFERS_NOT_TEXT);
    switch (d.kind) {
    case Kind::Number: return UiText(IDS_DIFFERS_NUMBER, {number, std::to_wstring(d.ownNumber)});
    case Kind::NumberNotWindows: return UiText(IDS_DIFFERS_NUMBER_NOT_WINDOWS, {number});
    case Kind::Starts: return UiText(IDS_DIFFERS_STARTS, {programs});
    case Kind::StartsBesidesOwn: return UiText(IDS_DIFFERS_STARTS_BESIDES, {programs});
    case Kind::Holds: break;
    case Kind::HoldsInsteadOfOwn: return UiText(IDS_DIFFERS_HOLDS_INSTEAD, {text, Showable(d.ownText)});
    }
    return UiText(IDS_DIFFERS_HOLDS, {text});
}

std::wstring BeforeLine(const EntryDetails& details) {
    if (details.missing.empty()) return details.before;
    // What is missing first: a line too long loses its middle.
    std::wstring names;
    for (const std::wstring& program : details.missing) names += (names.empty() ? L"" : L", ") + program;
    return UiText(IDS_BEFORE_MISSING, {names, details.before});
}

std::wstring LocationWithNote(const EntryText& text) {
    switch (text.note) {
    case EntryText::Note::None: break;
    case EntryText::Note::StaysStored: return UiText(IDS_LOCATION_STAYS_STORED, {text.location});
    case EntryText::Note::AnotherUsers: return UiText(IDS_LOCATION_ANOTHER_USERS, {text.location});
    case EntryText::Note::HiddenFromWindows: return UiText(IDS_LOCATION_HIDDEN_FROM_WINDOWS, {text.location});
    }
    return text.location;
}

}  // namespace kb

namespace kb {

std::wstring TriggerWords(const std::vector<std::wstring>& triggers) {
    // By the scheduler's element names; one it does not name here is shown
    // as it is named, made safe to show.
    static constexpr std::pair<const wchar_t*, UINT> kWords[] = {
        {L"LogonTrigger", IDS_TRIGGER_LOGON},       {L"BootTrigger", IDS_TRIGGER_BOOT},
        {L"TimeTrigger", IDS_TRIGGER_TIME},         {L"CalendarTrigger", IDS_TRIGGER_CALENDAR},
        {L"IdleTrigger", IDS_TRIGGER_IDLE},         {L"EventTrigger", IDS_TRIGGER_EVENT},
        {L"RegistrationTrigger", IDS_TRIGGER_REGISTRATION},
        {L"SessionStateChangeTrigger", IDS_TRIGGER_SESSION},
    };
    if (triggers.empty()) return UiText(IDS_TRIGGER_NONE);
    std::wstring words;
    for (const std::wstring& trigger : triggers) {
        const auto known = std::find_if(std::begin(kWords), std::end(kWords),
                                        [&](const auto& word) { return trigger == word.first; });
        words += (words.empty() ? L"" : L", ") + (known != std::end(kWords) ? UiText(known->second) : Showable(trigger));
    }
    return words;
}

std::wstring StartWords(unsigned long start, bool delayed) {
    switch (start) {
    case SERVICE_BOOT_START: return UiText(IDS_SERVICE_START_BOOT);
    case SERVICE_SYSTEM_START: return UiText(IDS_SERVICE_START_SYSTEM);
    case SERVICE_AUTO_START: return UiText(delayed ? IDS_SERVICE_START_DELAYED : IDS_SERVICE_START_AUTO);
    case SERVICE_DEMAND_START: return UiText(IDS_SERVICE_START_DEMAND);
    case SERVICE_DISABLED: return UiText(IDS_SERVICE_START_DISABLED);
    default: return std::to_wstring(start);  // no start type Windows names
    }
}

std::wstring ListedLocation(const EntryText& text) {
    if (text.service)
        return UiText(text.service->driver ? IDS_LIST_DRIVER_PLACE : IDS_LIST_SERVICE_PLACE,
                      {LocationWithNote(text), StartWords(text.service->start, text.service->delayed),
                       Showable(text.service->displayName)});
    if (!text.triggers) return LocationWithNote(text);
    return UiText(IDS_LIST_TASK_PLACE, {LocationWithNote(text), TriggerWords(*text.triggers)});
}

std::wstring ServiceLines(const EntryDetails& details) {
    if (!details.service) return {};
    const EntryDetails::Service& service = *details.service;
    std::wstring lines = UiText(service.driver ? IDS_DRIVER_NAME : IDS_SERVICE_NAME, {Showable(service.displayName)});
    lines += L"\r\n" + UiText(IDS_SERVICE_STARTS, {StartWords(service.start, service.delayed)});
    if (!service.account.empty()) lines += L"\r\n" + UiText(IDS_TASK_RUNS_AS, {Showable(service.account)});
    if (!service.library.empty()) lines += L"\r\n" + UiText(IDS_SERVICE_LIBRARY, {Showable(service.library)});
    if (!service.dependents.empty()) {
        std::wstring names;
        for (const std::wstring& name : service.dependents) names += (names.empty() ? L"" : L", ") + Showable(name);
        lines += L"\r\n" + UiText(IDS_SERVICE_DEPENDENTS, {names});
    }
    if (service.runs) lines += L"\r\n" + UiText(IDS_SERVICE_RUNNING);
    return lines;
}

std::wstring TaskLines(const EntryDetails& details) {
    if (!details.task) return {};
    const EntryDetails::Task& task = *details.task;
    std::wstring lines = UiText(IDS_TASK_WHEN, {TriggerWords(task.triggers)});
    if (!task.account.empty())
        lines += L"\r\n" + UiText(task.highest ? IDS_TASK_RUNS_AS_HIGHEST : IDS_TASK_RUNS_AS,
                                   {Showable(AccountNameOf(task.account))});
    if (!task.author.empty()) lines += L"\r\n" + UiText(IDS_TASK_AUTHOR, {Showable(task.author)});
    return lines;
}

}  // namespace kb
