// Every place the watch waits on, as data.
#include <algorithm>

#include "platform/CurrentUser.h"
#include "policy/AdminPolicy.h"
#include "watch/Watcher.h"

namespace kb {

std::vector<WatchedPlace> PlacesToWatch(const StartupFolders& folders, bool followFolders) {
    using Kind = WatchedPlace::Kind;
    using Where = ChangeWatch::Place;
    std::vector<WatchedPlace> places;
    const std::vector<LivePlace>& live = LivePlaces();
    for (PlaceId id = 0; id < live.size(); ++id) places.push_back({Kind::Entries, id, WatchOf(live[id], folders)});
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        places.push_back({Kind::StartPages, 0, {Where::Kind::Key, root, kStartPageKey, 0}});
    // Each key of the logon values once.
    for (const LogonValue& value : LogonValues()) {
        const ChangeWatch::Place where{Where::Kind::Key, value.root, value.keyPath, value.view};
        if (std::none_of(places.begin(), places.end(), [&](const WatchedPlace& p) {
                return p.kind == Kind::LogonValues && p.where.root == where.root &&
                       p.where.path == where.path && p.where.view == where.view;
            }))
            places.push_back({Kind::LogonValues, 0, where});
    }
    // An administrator's policy takes effect as Group Policy writes it.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        places.push_back({Kind::AdminPolicy, 0,
                          {Where::Kind::Key, root, kAdminPolicyKey,
                           root == HKEY_LOCAL_MACHINE && Is64BitWindows() ? KEY_WOW64_64KEY : REGSAM{0}}});
    // Where the Startup folders are: moving one must not walk around the watch.
    if (followFolders)
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
            for (const wchar_t* key : {kUserShellFoldersKey, kShellFoldersKey})
                places.push_back({Kind::FolderLocations, 0, {Where::Kind::Key, root, key, 0}});
    return places;
}

}  // namespace kb
