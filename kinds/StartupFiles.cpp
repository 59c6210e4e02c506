// The Startup folders' files: their moves, and what each is to the guard.
#include "kinds/StartupFiles.h"

#include "kinds/Kinds.h"
#include "places/ShortcutFiles.h"
#include "places/TaskManager.h"
#include "platform/TextCompare.h"
#include "store/Items.h"
#include "store/Store.h"
#include "store/StoreLayout.h"
#include "store/StoreReading.h"

namespace kb {

ChangeWatch::Place StartupFiles::WatchOf(const Place& place, const StartupFolders& folders) {
    return {ChangeWatch::Place::Kind::Folder, nullptr, place.FolderIn(folders), 0};
}

MoveResult StartupFiles::Move(const Entry& e, const StartupFolders& folders) {
    // A file moved aside, or one Task Manager disabled, is listed as
    // disabled: moving it enables it there.
    if (e.aside) return EnableAsideFile(e, folders);
    if (!e.disabledByTaskManager) return DisableShortcut(e, folders);
    return store::FromError(EnableInTaskManager(TaskManagerRootOf(e.location), kTaskManagerFolderKey, e.fileName));
}

bool StartupFiles::WritesMachinePlaces(const Entry& e) {
    return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
}

EntryText StartupFiles::TextOf(const Entry& e) {
    return {e.name, e.command, e.location, !e.disabledByTaskManager && !e.aside};
}

EntryDetails StartupFiles::DetailsOf(const Entry& e) {
    auto [program, arguments] = ProgramOf(e.path, e.link);
    return {std::move(program), std::move(arguments), e.path.substr(0, e.path.rfind(L'\\')), {}};
}

bool Starts(const ShortcutEntry& e) {
    return !e.disabledByTaskManager && !e.aside;  // any file, even one the shell cannot read
}

std::wstring IdentityOf(const ShortcutEntry& e) {
    std::wstring identity = e.path + L"\n" + e.command;
    if (e.link) {
        for (const std::wstring* text :
             {&e.link->Target, &e.link->Arguments, &e.link->WorkingDirectory, &e.link->Description})
            identity += L"\n" + *text;
    }
    return identity;
}

std::wstring KnownStateOf(const ShortcutEntry& e) {
    return e.path + L"\n" + e.command + (e.disabledByTaskManager ? L"\noff" : L"") + (e.aside ? L"\naside" : L"");
}

bool OfTheMachine(const ShortcutEntry& e) {
    return TaskManagerRootOf(e.location) == HKEY_LOCAL_MACHINE;
}

std::wstring PlaceReadOf(const ShortcutEntry& e, const StartupFolders& folders) {
    return folders.FolderOf(e.location);
}

bool SameEntry(const ShortcutEntry& a, const ShortcutEntry& b, const StartupFolders& folders) {
    const std::wstring& folderA = folders.FolderOf(a.location);
    return EqualIgnoringCase(a.fileName, b.fileName) && !folderA.empty() && folderA == folders.FolderOf(b.location);
}

std::wstring IndexKey(const ShortcutEntry& e, const StartupFolders& folders) {
    return folders.FolderOf(e.location) + L"\n" + FoldCase(e.fileName);
}

std::vector<std::wstring> RecordLine(const ShortcutEntry& e, const StartupFolders& folders) {
    return {StartupFiles::kRecordWord, e.location, folders.FolderOf(e.location), e.fileName, e.command};
}

std::optional<ShortcutEntry> FromRecordLine(std::type_identity<ShortcutEntry>,
                                            const std::vector<std::wstring>& line, const StartupFolders& folders) {
    if (line.size() != 5 || line[0] != StartupFiles::kRecordWord) return std::nullopt;
    // Known where the folder was; a folder that moved since is new.
    const std::wstring& folder = folders.FolderOf(line[1]);
    if (folder.empty() || !SamePath(folder, line[2]) || !IsPlainItem(line[3])) return std::nullopt;
    ShortcutEntry entry;
    entry.location = EqualIgnoringCase(line[1], kCommonStartupLocation) ? kCommonStartupLocation : kStartupLocation;
    entry.fileName = line[3];
    entry.path = folder + L"\\" + line[3];
    entry.name = line[3].substr(0, line[3].rfind(L'.'));
    entry.command = line[4];
    return entry;
}

void KnowFileBack(const std::wstring& location, const std::wstring& fileName, const StartupFolders& folders,
                  LiveEntries& known) {
    const std::wstring& folder = folders.FolderOf(location);
    if (folder.empty()) return;
    const std::wstring path = folder + L"\\" + fileName;
    ListOf<ShortcutEntry>(known).push_back(StartupFileEntry(location, path, ReadLinkOf(path)));
}

void KnowMoved(const ShortcutEntry& e, const StartupFolders& folders, LiveEntries& known) {
    if (e.aside) return KnowFileBack(e.location, e.fileName, folders, known);
    if (!e.disabledByTaskManager) return;
    ShortcutEntry on = e;
    on.disabledByTaskManager = false;
    ListOf<ShortcutEntry>(known).push_back(std::move(on));
}

std::vector<std::wstring> KeyTextsOf(const ShortcutEntry& e) {
    return {L"shortcut", e.path};
}

bool HeldAside(const ShortcutEntry&) {
    return false;
}

}  // namespace kb
