#pragma once
// Change notifications for a set of places, registry keys and folders, as
// handles for the owner's wait. A place that does not exist is watched
// through its nearest parent that does, so one made later is picked up. A
// place that exists is watched in its parent too, for its own name: one
// deleted or renamed and made again is watched again at once.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Handle.h"

namespace kb {

class ChangeWatch {
public:
    struct Place {
        enum class Kind { Key, Folder } kind;
        HKEY root;          // a key's root; none for a folder
        std::wstring path;  // below the root, or the folder's full path
        REGSAM view;        // 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY
        bool subtree = false;  // a key's subkeys, to any depth, signal too
    };

    explicit ChangeWatch(std::vector<Place> places);
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // The handles to wait on (one or two a place), and the place each stands
    // for. A place that cannot be watched at all has none; the caller's full
    // checks cover it.
    const std::vector<HANDLE>& Handles() const noexcept { return handles_; }
    std::size_t PlaceOf(std::size_t handle) const { return owners_.at(handle); }

    // After a place's handle was signalled: watches it again, on the place
    // itself or on a parent as the place came or went. Arm before reading
    // the place, so that nothing changed in between goes unseen.
    void Rearm(std::size_t place);

private:
    struct Watch {
        Place place;
        UniqueKey key;                    // the key watched (the place or a parent)
        UniqueHandle event;               // signalled by the registry
        UniqueChangeNotification folder;  // signalled by the file system
        bool atPlace = false;             // watching the place itself, not a parent
        // While at the place: its parent, for the place's own name.
        UniqueKey parentKey;
        UniqueHandle parentEvent;
        UniqueChangeNotification parentFolder;
    };
    void Arm(Watch& watch);
    void ArmKey(Watch& watch);
    void ArmKeyParent(Watch& watch);
    void ArmFolder(Watch& watch);
    void CollectHandles();

    std::vector<Watch> watches_;
    std::vector<HANDLE> handles_;
    std::vector<std::size_t> owners_;
};

}  // namespace kb
