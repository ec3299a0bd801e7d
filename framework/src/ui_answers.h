#pragma once
// Answers for a program's modal dialogs from the file $WRENFIELD_UI_ANSWERS,
// so end-to-end runs can drive them. Each line answers one run of one
// template, lines of a template taken in order:
//   <template>: <step>; <step>; ...
// Steps: "text <id> <typed text>" (as typed), "check <id> <0|1>" (clicked
// when it differs), "click <id>" (a button's click). A template without a
// line left runs as usual. Message boxes take the lines
//   box: <button id>
// in order, each answering one box as that button (IDOK 1, IDYES 6, ...);
// with none left a box is shown as usual.
#include <optional>

#include "framework/dialog.h"

namespace wf::fw {

DialogAction scriptedAnswer(UINT templateId);
std::optional<int> scriptedBoxAnswer();

}  // namespace wf::fw
