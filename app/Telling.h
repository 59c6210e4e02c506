#pragma once
// What the watch decided or found, and every notice of the program: kept
// in the history (its file, list and the event log) and shown as a balloon
// from the icon. Nothing here waits for the user.
#include <functional>
#include <string>

#include "app/services/HistoryKeeper.h"
#include "watch/WatchEvent.h"

namespace kb {

class TrayIcon;

class Telling {
public:
    // The icon, while there is one; whether the outcome now told was the
    // session's end's answer (asked once for each outcome the user was
    // asked about).
    Telling(HistoryKeeper& history, std::function<TrayIcon*()> icon, std::function<bool()> answeredBySessionEnd)
        : history_(history), icon_(std::move(icon)), answeredBySessionEnd_(std::move(answeredBySessionEnd)) {}

    // Every kind of event is handled: one left out does not compile.
    void Tell(const WatchEvent& event);
    // A notice that pauses nothing: a record, and a balloon.
    void Notice(const std::wstring& text);

private:
    void Balloon(const std::wstring& text);

    HistoryKeeper& history_;
    std::function<TrayIcon*()> icon_;
    std::function<bool()> answeredBySessionEnd_;
};

}  // namespace kb
