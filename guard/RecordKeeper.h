#pragma once
// What the guard knows, kept across runs as records (KnownKeeping.h): taken
// back at start, written again whenever it changed. Each failure to keep it
// is told once while it lasts.
#include <functional>
#include <vector>

#include "guard/GuardEvent.h"
#include "guard/KnownEntries.h"

namespace kb {

class RecordKeeper {
public:
    using Tell = std::function<void(const GuardEvent&)>;
    explicit RecordKeeper(Tell tell) : tell_(std::move(tell)) {}

    // Of the machine's places and the user's, or of the machine's only (an
    // elevated instance may act for another user than its own).
    enum class Keeping { Nothing, Everything, MachineOnly };
    void SetKeeping(Keeping keeping) noexcept { keeping_ = keeping; }

    // Takes what each record holds as known; a root with no record (the
    // very first start) or a broken one keeps what the places hold now.
    // What was found of each record is handed back, to be said once what is
    // known has been kept (Say).
    std::vector<RecordNote> Restore(KnownEntries& known);
    // Tells what the start found of the records (RecordsNoted), if anything.
    void Say(std::vector<RecordNote> notes);
    // Keeps what is known, when it changed since it was last kept.
    void Keep(KnownEntries& known);

private:
    Tell tell_;
    Keeping keeping_ = Keeping::Nothing;
    bool unkeptTold_ = false;         // while the records cannot be written
    bool machineUnrecorded_ = false;  // the machine's record is refused to this guard
};

}  // namespace kb
