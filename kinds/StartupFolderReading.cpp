// Reading the Startup folders: every file Windows starts at logon, what the
// other lister moved aside, and the shell's reading of each shortcut kept
// while its bytes stay the same.
#include "kinds/Kinds.h"
#include "kinds/PlaceSelection.h"
#include "places/ShortcutFiles.h"
#include "places/TaskManager.h"
#include "platform/Files.h"
#include "platform/Handle.h"
#include "platform/TextCompare.h"

namespace kb {

namespace {

// Shortcuts are a few kilobytes; a bigger file is known by time and size.
constexpr std::size_t kKeptShortcutBytes = 64 * 1024;

// A folder that is missing holds nothing; one that is there but could not
// be listed (or is no folder) holds what it held, which the caller keeps.
// Why, or nothing when the folder is simply not there.
std::optional<SkippedValue> WhyUnlisted(const std::wstring& folder, DWORD error) {
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    const bool notFound = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD why = ::GetLastError();
        if (why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND) return std::nullopt;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return SkippedValue::Unreadable(folder, WhyUnreadable::NotAFolder);
    } else if (notFound) {
        return std::nullopt;  // a folder holding no shortcut
    }
    if (error == ERROR_ACCESS_DENIED) return SkippedValue::Unreadable(folder, WhyUnreadable::Denied);
    return SkippedValue::Unreadable(folder, WhyUnreadable::ListingFailed, error);
}

// Whether a listed name is a file Windows starts at logon: folders are not
// opened, nor is the folder's own desktop.ini, which the shell knows by its
// being hidden and system; Explorer opens one without those like any file.
bool StartsAtLogon(const WIN32_FIND_DATAW& found) {
    constexpr DWORD kFolderSettings = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(EqualIgnoringCase(found.cFileName, L"desktop.ini") &&
             (found.dwFileAttributes & kFolderSettings) == kFolderSettings);
}

void ReadStartupFolder(const std::wstring& location, const std::wstring& folder,
                       std::vector<ShortcutEntry>& shortcuts, std::vector<SkippedValue>& skipped,
                       ShortcutCache* cache) {
    // An unknown folder would make the pattern "\*", the root of the drive.
    if (folder.empty()) return;
    const TaskManagerSwitches switches(TaskManagerRootOf(location), kTaskManagerFolderKey);
    ShortcutCache::Folder known = cache ? cache->Take(folder) : ShortcutCache::Folder{};
    const std::size_t first = shortcuts.size();
    const auto unreadable = [&](DWORD error) {
        std::optional<SkippedValue> why = WhyUnlisted(folder, error);
        if (cache) cache->Put(folder, why ? std::move(known) : ShortcutCache::Folder{});
        if (!why) return;
        // Nothing of a listing that stopped part-way passes for the folder.
        shortcuts.resize(first);
        skipped.push_back(std::move(*why));
    };
    ShortcutCache::Folder now;
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!listing) return unreadable(::GetLastError());
    do {
        if (!StartsAtLogon(found)) continue;
        const std::wstring fileName = found.cFileName;
        const std::wstring path = folder + L"\\" + fileName;
        ShortcutCache::Reading reading{found.ftLastWriteTime,
                                       (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) |
                                           found.nFileSizeLow,
                                       std::nullopt, std::nullopt};
        if (cache && reading.size <= kKeptShortcutBytes)
            reading.bytes = ReadSmallFile(path, kKeptShortcutBytes);
        const auto before = known.find(fileName);
        const bool same = before != known.end() && before->second.link &&
                          ::CompareFileTime(&before->second.written, &reading.written) == 0 &&
                          before->second.size == reading.size &&
                          before->second.bytes == reading.bytes;
        reading.link = same ? before->second.link : ReadLinkOf(path);
        ShortcutEntry entry = StartupFileEntry(location, path, reading.link);
        entry.disabledByTaskManager = switches.Disabled(fileName);
        now[fileName] = std::move(reading);
        shortcuts.push_back(std::move(entry));
    } while (::FindNextFileW(listing.get(), &found));
    if (const DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES) return unreadable(error);
    if (cache) cache->Put(folder, std::move(now));
}

// The files the other lister moved aside into the folder's own subfolder.
// A subfolder that is a link leads elsewhere: what is there is no entry.
void ReadAsideFiles(const std::wstring& location, const std::wstring& folder,
                    std::vector<ShortcutEntry>& shortcuts, std::vector<SkippedValue>& skipped) {
    if (folder.empty()) return;
    const std::wstring aside = folder + L"\\" + kAsideKey;
    if (IsLink(aside)) {
        skipped.push_back(SkippedValue::Unreadable(aside, WhyUnreadable::FolderLink));
        return;
    }
    WIN32_FIND_DATAW found;
    UniqueFind listing(::FindFirstFileW((aside + L"\\*").c_str(), &found));
    if (!listing) return;
    do {
        if (!StartsAtLogon(found)) continue;
        const std::wstring path = aside + L"\\" + found.cFileName;
        ShortcutEntry entry = StartupFileEntry(location, path, ReadLinkOf(path));
        entry.aside = true;
        shortcuts.push_back(std::move(entry));
    } while (::FindNextFileW(listing.get(), &found));
}

}  // namespace

ShortcutCache::Folder ShortcutCache::Take(const std::wstring& folder) {
    const auto it = folders_.find(folder);
    if (it == folders_.end()) return {};
    Folder readings = std::move(it->second);
    folders_.erase(it);
    return readings;
}

void ShortcutCache::Put(const std::wstring& folder, Folder readings) {
    folders_[folder] = std::move(readings);
}

void StartupFiles::Read(const PlaceSelection& selection, Reading& reading, std::vector<Entry>& into) {
    selection.ForEach<Place>([&](PlaceId, const Place& place) {
        const std::wstring& path = place.FolderIn(reading.folders);
        ReadStartupFolder(place.LocationName(), path, into, reading.skipped, reading.cache);
        ReadAsideFiles(place.LocationName(), path, into, reading.skipped);
    });
}

}  // namespace kb
