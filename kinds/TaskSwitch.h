#pragma once
// A scheduled task switched off and on as the scheduler itself does: the
// task stays where it is, only its Enabled setting changes, and the move is
// read back from the definition the scheduler keeps. This program's own
// disables are on record with the definition's digest: it enables only
// those, and only while the definition is as it left it.
#include <optional>
#include <string>

#include "kinds/TaskDefinition.h"
#include "places/MoveResult.h"

namespace kb {

// Switches the task whose definition is the file (read as "listed") on or
// off; a task of another account ("machine") is on the machine's record.
// Changed when the file no longer holds what was listed.
MoveResult SwitchTask(const std::wstring& file, const std::wstring& taskPath, const TaskDefinition& listed,
                      bool enable, bool machine);

// The definition's text with its Settings' Enabled element set, added
// where it is absent; none where the text has no Settings element. Nothing
// else in the text changes.
std::optional<std::wstring> WithEnabled(std::wstring xml, bool enabled);

// Whether this program disabled the task and its definition is as it was
// left then, by the machine's record or the user's.
bool DisabledHere(const std::wstring& taskPath, const std::wstring& digest, bool machine);

}  // namespace kb
