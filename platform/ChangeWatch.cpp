#include "platform/ChangeWatch.h"

#include "platform/Files.h"

namespace kb {

namespace {

constexpr DWORD kKeyFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
// Not the last access: reading a shortcut must not look like a change.
constexpr DWORD kFolderFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES;

// The path without its last part; empty above the top.
std::wstring Parent(const std::wstring& path) {
    const auto slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

ChangeWatch::ChangeWatch(std::vector<Place> places) {
    watches_.reserve(places.size());
    for (Place& place : places) {
        Watch& watch = watches_.emplace_back();
        watch.place = std::move(place);
        Arm(watch);
    }
    CollectHandles();
}

void ChangeWatch::Rearm(std::size_t place) {
    // Armed afresh: a folder renamed away keeps its handle, which would go on
    // watching it under its new name.
    Arm(watches_.at(place));
    CollectHandles();
}

void ChangeWatch::Arm(Watch& watch) {
    if (watch.place.kind == Place::Kind::Key)
        ArmKey(watch);
    else
        ArmFolder(watch);
}

namespace {

// A registration on the key at the path, with an event of its own: closing
// the key it replaces may signal that one's event (Wine does, for a
// registration still pending), which then goes with it unseen.
bool Register(HKEY root, const std::wstring& path, REGSAM view, DWORD filter, UniqueKey& key,
              UniqueHandle& event, bool subtree = false) {
    UniqueHandle fresh(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    UniqueKey opened;
    if (!fresh ||
        ::RegOpenKeyExW(root, path.c_str(), 0, KEY_NOTIFY | view, opened.put()) != ERROR_SUCCESS ||
        ::RegNotifyChangeKeyValue(opened.get(), subtree, filter, fresh.get(), TRUE) != ERROR_SUCCESS)
        return false;
    key = std::move(opened);
    event = std::move(fresh);
    return true;
}

}  // namespace

void ChangeWatch::ArmKey(Watch& watch) {
    // The place itself when it exists, else the nearest parent: a subkey
    // made below it signals, and the next arming moves down.
    for (std::wstring path = watch.place.path;; path = Parent(path)) {
        // Below the place itself, what its subkeys hold too, where asked.
        if (Register(watch.place.root, path, watch.place.view, kKeyFilter, watch.key, watch.event,
                     watch.place.subtree && path == watch.place.path)) {
            watch.atPlace = path == watch.place.path;
            ArmKeyParent(watch);
            return;
        }
        if (path.empty()) break;
    }
    watch.key.reset();
    watch.event.reset();
    watch.atPlace = false;
    ArmKeyParent(watch);
}

void ChangeWatch::ArmKeyParent(Watch& watch) {
    const std::wstring parent = Parent(watch.place.path);
    if (watch.atPlace && !parent.empty() &&
        Register(watch.place.root, parent, watch.place.view, REG_NOTIFY_CHANGE_NAME,
                 watch.parentKey, watch.parentEvent))
        return;
    watch.parentKey.reset();
    watch.parentEvent.reset();
}

void ChangeWatch::ArmFolder(Watch& watch) {
    watch.folder.reset();
    watch.parentFolder.reset();
    watch.atPlace = false;
    // An unknown folder is never watched: its parent would be the drive.
    for (std::wstring path = watch.place.path; !path.empty(); path = Parent(path)) {
        if (!DirectoryExists(path)) continue;
        const bool atPlace = path == watch.place.path;
        watch.folder.reset(::FindFirstChangeNotificationW(
            path.c_str(), FALSE, atPlace ? kFolderFilter : FILE_NOTIFY_CHANGE_DIR_NAME));
        watch.atPlace = atPlace && watch.folder;
        const std::wstring parent = Parent(path);
        if (watch.atPlace && !parent.empty())
            watch.parentFolder.reset(::FindFirstChangeNotificationW(
                (parent.size() == 2 ? parent + L"\\" : parent).c_str(), FALSE,
                FILE_NOTIFY_CHANGE_DIR_NAME));
        return;
    }
}

void ChangeWatch::CollectHandles() {
    handles_.clear();
    owners_.clear();
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        const Watch& watch = watches_[i];
        const bool key = watch.place.kind == Place::Kind::Key;
        const HANDLE handles[] = {
            key ? (watch.key ? watch.event.get() : nullptr)
                : (watch.folder ? watch.folder.get() : nullptr),
            key ? (watch.parentKey ? watch.parentEvent.get() : nullptr)
                : (watch.parentFolder ? watch.parentFolder.get() : nullptr)};
        for (const HANDLE handle : handles) {
            if (!handle) continue;
            handles_.push_back(handle);
            owners_.push_back(i);
        }
    }
}

}  // namespace kb
