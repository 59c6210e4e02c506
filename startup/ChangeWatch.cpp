#include "startup/ChangeWatch.h"

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
        if (watch.place.kind == Place::Kind::Key)
            watch.event.reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        Arm(watch);
    }
    CollectHandles();
}

void ChangeWatch::Rearm(std::size_t place) {
    Watch& watch = watches_.at(place);
    // A folder still watched in place keeps its registration, which has
    // recorded whatever came since the signal.
    const bool kept = watch.place.kind == Place::Kind::Folder && watch.atPlace &&
                      DirectoryExists(watch.place.path) &&
                      ::FindNextChangeNotification(watch.folder.get());
    if (!kept) Arm(watch);
    CollectHandles();
}

void ChangeWatch::Arm(Watch& watch) {
    if (watch.place.kind == Place::Kind::Key)
        ArmKey(watch);
    else
        ArmFolder(watch);
}

void ChangeWatch::ArmKey(Watch& watch) {
    if (!watch.event) return;
    // The place itself when it exists, else the nearest parent: a subkey
    // made below it signals, and the next arming moves down.
    for (std::wstring path = watch.place.path;; path = Parent(path)) {
        UniqueKey key;
        if (::RegOpenKeyExW(watch.place.root, path.c_str(), 0, KEY_NOTIFY | watch.place.view,
                            key.put()) == ERROR_SUCCESS &&
            ::RegNotifyChangeKeyValue(key.get(), FALSE, kKeyFilter, watch.event.get(), TRUE) ==
                ERROR_SUCCESS) {
            watch.key = std::move(key);
            watch.atPlace = path == watch.place.path;
            return;
        }
        if (path.empty()) break;
    }
    watch.key.reset();
    watch.atPlace = false;
}

void ChangeWatch::ArmFolder(Watch& watch) {
    watch.folder.reset();
    watch.atPlace = false;
    // An unknown folder is never watched: its parent would be the drive.
    for (std::wstring path = watch.place.path; !path.empty(); path = Parent(path)) {
        if (!DirectoryExists(path)) continue;
        const bool atPlace = path == watch.place.path;
        watch.folder.reset(::FindFirstChangeNotificationW(
            path.c_str(), FALSE, atPlace ? kFolderFilter : FILE_NOTIFY_CHANGE_DIR_NAME));
        watch.atPlace = atPlace && watch.folder;
        return;
    }
}

void ChangeWatch::CollectHandles() {
    handles_.clear();
    owners_.clear();
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        const Watch& watch = watches_[i];
        const HANDLE handle = watch.place.kind == Place::Kind::Key
                                  ? (watch.key ? watch.event.get() : nullptr)
                                  : (watch.folder ? watch.folder.get() : nullptr);
        if (!handle) continue;
        handles_.push_back(handle);
        owners_.push_back(i);
    }
}

}  // namespace kb
