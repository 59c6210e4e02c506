#pragma once
// Change notifications for a set of places, registry keys and folders, as
// one handle for the owner's wait. A place that does not exist is watched
// through its nearest parent that does, so one made later is picked up. A
// place that exists is watched in its parent too, for its own name: one
// deleted or renamed and made again is watched again at once. Keys of one
// parent (Run, RunOnce, RunServices...) share that watch of their parent:
// a name changing there signals each of them.
//
// The whole logon surface may be more notifications than one thread can
// wait on (63 beside its messages): wait threads of the watch's own wait on
// them (one for every 63), and their callbacks only mark the place and
// signal the one handle. Everything else happens on the owner's thread.
// Sharing the parents' watches makes one wait of what were as many as the
// keys beside each other.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/ServiceCreations.h"
#include "platform/WaitThreads.h"

namespace kb {

class ChangeWatch {
public:
    struct Place {
        enum class Kind { Key, Folder } kind;
        HKEY root;          // a key's root; none for a folder
        std::wstring path;  // below the root, or the folder's full path
        REGSAM view;        // 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY
        bool subtree = false;  // a key's subkeys, or a folder's, to any depth, signal too
        // A key: the service manager's word of a service made signals too,
        // where it gives one (see ServiceCreations).
        bool serviceCreations = false;
    };

    explicit ChangeWatch(std::vector<Place> places);
    // Ends the waits before anything their callbacks touch goes.
    ~ChangeWatch();
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // The one handle to wait on: signalled when a place may have changed.
    const std::vector<HANDLE>& Handles() const noexcept { return handles_; }
    // The places that signalled since the last call, in order, each once.
    std::vector<std::size_t> TakeSignalled();
    // How many notifications are armed (one or two a place); a place that
    // cannot be watched at all has none, and the caller's full checks cover it.
    std::size_t Armed() const noexcept;

    // After a place signalled: watches it again, on the place itself or on
    // a parent as the place came or went. Arm before reading the place, so
    // that nothing changed in between goes unseen.
    void Rearm(std::size_t place);
    // Signals the place after a while, as if it had changed: a look again
    // at something still being written. A later call for the place replaces
    // one still waiting.
    void SignalLater(std::size_t place, DWORD milliseconds);

private:
    struct Watch {
        Place place;
        UniqueKey key;                    // the key watched (the place or a parent)
        UniqueHandle event;               // signalled by the registry
        UniqueChangeNotification folder;  // signalled by the file system
        bool atPlace = false;             // watching the place itself, not a parent
        // A folder, while at the place: its parent, for the folder's own name.
        UniqueChangeNotification parentFolder;
        // A key: the watch of its parent it shares with the keys beside it.
        std::size_t parent = kNoParent;
        // A key, where asked and the manager gives them: its words of services made.
        std::unique_ptr<ServiceCreations> creations;
    };
    static constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
    // A parent key's watch for the names below it, shared by its places.
    struct ParentWatch {
        ChangeWatch* owner;
        HKEY root;
        std::wstring path;
        REGSAM view;
        UniqueKey key;
        UniqueHandle event;
        WaitThreads::WaitId wait = WaitThreads::kNoWait;
        std::vector<std::size_t> places;
        std::atomic<bool> fired{false};  // its one-shot wait ran: armed again at the next Rearm
    };
    // What a wait's callback needs: whom to tell, and of which place.
    struct Relay {
        ChangeWatch* owner;
        std::size_t place;
    };
    static void OnSignal(void* relay) noexcept;
    static void OnParentSignal(void* parent) noexcept;
    void Arm(Watch& watch);
    void ArmKey(Watch& watch);
    void ArmFolder(Watch& watch);
    // The shared watch of the key's parent, made on its first place.
    void JoinParent(std::size_t place);
    // Watches the parent again (and waits on it) when it has fired, or was
    // never armed; its places are read after this.
    void ArmParent(ParentWatch& parent);
    void EndParentWait(ParentWatch& parent) noexcept;
    // The waits on the place's handles, and their end: it returns once no
    // callback for them runs.
    void StartWaits(std::size_t place);
    void EndWaits(std::size_t place) noexcept;

    std::vector<Watch> watches_;
    UniqueHandle signal_;  // auto-reset: some place signalled
    std::vector<HANDLE> handles_;  // signal_ alone
    std::unique_ptr<std::atomic<bool>[]> signalled_;  // by place
    std::vector<Relay> relays_;                       // by place; never moves
    // What a place waits on: its handles (a key's event and its service
    // manager's words; a folder's notification and its parent's), and its
    // timer for SignalLater.
    struct PlaceWaits {
        std::array<WaitThreads::WaitId, 2> handles{WaitThreads::kNoWait, WaitThreads::kNoWait};
        WaitThreads::WaitId timerWait = WaitThreads::kNoWait;
        UniqueHandle timer;  // made when first asked
    };
    std::vector<PlaceWaits> waits_;                           // by place
    std::vector<std::unique_ptr<ParentWatch>> parents_;       // each never moves
    // Last: its threads end before anything their callbacks touch goes.
    WaitThreads threads_;
};

}  // namespace kb
