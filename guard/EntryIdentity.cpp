#include "guard/EntryIdentity.h"

namespace kb {

bool Starts(const RunValueEntry& e) {
    return !e.disabledByTaskManager && !e.command.empty();
}

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && !e.aside;  // any file, even one the shell cannot read
}

bool Starts(const AsideEntry& e) {
    return e.Enabled() && !e.command.empty();
}

std::wstring IdentityOf(const RunValueEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + e.command + L"\n" +
           std::to_wstring(e.type);
}

std::wstring IdentityOf(const AsideEntry& e) {
    return e.place.Location() + L"\n" + e.name + L"\n" + (e.isKey ? L"key" : L"value") + L"\n" +
           e.command;
}

std::wstring IdentityOf(const ShortcutEntry& e) {
    std::wstring identity = e.path + L"\n" + e.command;
    if (e.link) {
        for (const std::wstring* text : {&e.link->Target, &e.link->Arguments,
                                         &e.link->WorkingDirectory, &e.link->Description})
            identity += L"\n" + *text;
    }
    return identity;
}

}  // namespace kb
