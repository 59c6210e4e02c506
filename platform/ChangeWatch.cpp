#include "platform/ChangeWatch.h"

#include <utility>

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

ChangeWatch::ChangeWatch(std::vector<Place> places)
    : signal_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      signalled_(std::make_unique<std::atomic<bool>[]>(places.size())),
      waits_(places.size()) {
    if (signal_) handles_.push_back(signal_.get());
    watches_.reserve(places.size());
    relays_.reserve(places.size());
    try {
        for (Place& place : places) {
            relays_.push_back({this, watches_.size()});
            Watch& watch = watches_.emplace_back();
            watch.place = std::move(place);
            JoinParent(watches_.size() - 1);
            Arm(watch);
            StartWaits(watches_.size() - 1);
        }
        for (const std::unique_ptr<ParentWatch>& parent : parents_) ArmParent(*parent);
    } catch (...) {
        // No destructor runs for a half-made watch: no wait may outlive it.
        for (std::size_t place = 0; place < watches_.size(); ++place) EndWaits(place);
        for (const std::unique_ptr<ParentWatch>& parent : parents_) EndParentWait(*parent);
        throw;
    }
}

ChangeWatch::~ChangeWatch() {
    for (std::size_t place = 0; place < watches_.size(); ++place) {
        EndWaits(place);
        threads_.End(waits_[place].timerWait);
    }
    for (const std::unique_ptr<ParentWatch>& parent : parents_) EndParentWait(*parent);
}

void ChangeWatch::SignalLater(std::size_t place, DWORD milliseconds) {
    UniqueHandle& timer = waits_.at(place).timer;
    WaitThreads::WaitId& wait = waits_[place].timerWait;
    threads_.End(std::exchange(wait, WaitThreads::kNoWait));
    if (!timer) timer.reset(::CreateWaitableTimerW(nullptr, FALSE, nullptr));
    // In 100-nanosecond steps; negative: from now.
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    if (timer && ::SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE))
        wait = threads_.Start(timer.get(), &ChangeWatch::OnSignal, &relays_[place]);
}

void ChangeWatch::Rearm(std::size_t place) {
    // Armed afresh: a folder renamed away keeps its handle, which would go on
    // watching it under its new name.
    EndWaits(place);
    Arm(watches_.at(place));
    StartWaits(place);
    // The shared parent, if it fired: before the place is read, like the place.
    if (watches_[place].parent == kNoParent) return;
    ParentWatch& parent = *parents_[watches_[place].parent];
    if (parent.fired.exchange(false) || parent.wait == WaitThreads::kNoWait) ArmParent(parent);
}

std::vector<std::size_t> ChangeWatch::TakeSignalled() {
    std::vector<std::size_t> places;
    for (std::size_t place = 0; place < watches_.size(); ++place)
        if (signalled_[place].exchange(false)) places.push_back(place);
    return places;
}

std::size_t ChangeWatch::Armed() const noexcept {
    std::size_t armed = 0;
    for (const PlaceWaits& waits : waits_)
        for (const WaitThreads::WaitId wait : waits.handles) armed += wait != WaitThreads::kNoWait;
    for (const std::unique_ptr<ParentWatch>& parent : parents_) armed += parent->wait != WaitThreads::kNoWait;
    return armed;
}

void ChangeWatch::OnSignal(void* context) noexcept {
    // On a wait thread: only mark the place and wake the owner.
    const auto* relay = static_cast<const Relay*>(context);
    relay->owner->signalled_[relay->place].store(true);
    ::SetEvent(relay->owner->signal_.get());
}

void ChangeWatch::OnParentSignal(void* context) noexcept {
    // On a wait thread: a name changed below the parent, so each of its
    // places may have come or gone.
    auto* parent = static_cast<ParentWatch*>(context);
    parent->fired.store(true);
    for (const std::size_t place : parent->places) parent->owner->signalled_[place].store(true);
    ::SetEvent(parent->owner->signal_.get());
}

void ChangeWatch::StartWaits(std::size_t place) {
    const Watch& watch = watches_[place];
    const bool key = watch.place.kind == Place::Kind::Key;
    // A key's parent is watched by the parent's shared watch.
    const HANDLE handles[] = {
        key ? (watch.key ? watch.event.get() : nullptr)
            : (watch.folder ? watch.folder.get() : nullptr),
        key ? (watch.creations ? watch.creations->Event() : nullptr)
            : (watch.parentFolder ? watch.parentFolder.get() : nullptr)};
    for (std::size_t i = 0; i < 2; ++i) {
        // Once: the place is armed again, with new handles, before it is read.
        if (handles[i]) waits_[place].handles[i] = threads_.Start(handles[i], &ChangeWatch::OnSignal, &relays_[place]);
    }
}

void ChangeWatch::EndWaits(std::size_t place) noexcept {
    for (WaitThreads::WaitId& wait : waits_[place].handles) threads_.End(std::exchange(wait, WaitThreads::kNoWait));
}

void ChangeWatch::Arm(Watch& watch) {
    if (watch.place.kind != Place::Kind::Key) {
        ArmFolder(watch);
        return;
    }
    ArmKey(watch);
    // Asked for again once a word came; a manager that refuses is not asked
    // again, and the key's own notification goes on alone.
    if (!watch.place.serviceCreations) return;
    if (!watch.creations) watch.creations = ServiceCreations::Make();
    if (!watch.creations || !watch.creations->Arm()) {
        watch.creations.reset();
        watch.place.serviceCreations = false;
    }
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
            return;
        }
        if (path.empty()) break;
    }
    watch.key.reset();
    watch.event.reset();
    watch.atPlace = false;
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
            path.c_str(), atPlace && watch.place.subtree, atPlace ? kFolderFilter : FILE_NOTIFY_CHANGE_DIR_NAME));
        watch.atPlace = atPlace && watch.folder;
        const std::wstring parent = Parent(path);
        if (watch.atPlace && !parent.empty())
            watch.parentFolder.reset(::FindFirstChangeNotificationW(
                (parent.size() == 2 ? parent + L"\\" : parent).c_str(), FALSE,
                FILE_NOTIFY_CHANGE_DIR_NAME));
        return;
    }
}

void ChangeWatch::JoinParent(std::size_t place) {
    const Place& where = watches_[place].place;
    const std::wstring parentPath = Parent(where.path);
    if (where.kind != Place::Kind::Key || parentPath.empty()) return;
    for (std::size_t i = 0; i < parents_.size(); ++i) {
        ParentWatch& parent = *parents_[i];
        if (parent.root == where.root && parent.view == where.view && parent.path == parentPath) {
            parent.places.push_back(place);
            watches_[place].parent = i;
            return;
        }
    }
    auto parent = std::make_unique<ParentWatch>();
    parent->owner = this;
    parent->root = where.root;
    parent->path = parentPath;
    parent->view = where.view;
    parent->places.push_back(place);
    watches_[place].parent = parents_.size();
    parents_.push_back(std::move(parent));
}

void ChangeWatch::ArmParent(ParentWatch& parent) {
    EndParentWait(parent);
    // A parent not there yet: its places' own watches see it come.
    if (!Register(parent.root, parent.path, parent.view, REG_NOTIFY_CHANGE_NAME, parent.key, parent.event))
        return;
    parent.wait = threads_.Start(parent.event.get(), &ChangeWatch::OnParentSignal, &parent);
}

void ChangeWatch::EndParentWait(ParentWatch& parent) noexcept {
    threads_.End(std::exchange(parent.wait, WaitThreads::kNoWait));
}

}  // namespace kb
