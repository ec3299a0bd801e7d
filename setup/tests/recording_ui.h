#pragma once
// A CheckUi that records what setup shows, for its tests.
#include <deque>
#include <string>
#include <vector>

#include "framework/shell_services.h"
#include "setup/check_sequence.h"

namespace wf::setup {

// Records what setup shows, one line each ("box <caption>: <text>",
// " [yes/no]" and " [task-modal]" marking those styles); boxes take their answers in order (IDOK when none is left).
class RecordingUi : public CheckUi {
 public:
  int showBox(const std::string& text, const std::string& caption, UINT style) override {
    shown.push_back("box " + caption + ": " + text + ((style & MB_TYPEMASK) == MB_YESNO ? " [yes/no]" : "") +
                    ((style & MB_TASKMODAL) ? " [task-modal]" : ""));
    if (answers.empty()) return IDOK;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showSplash(bool visible) override { shown.push_back(visible ? "splash shown" : "splash hidden"); }

  std::deque<int> answers;
  std::vector<std::string> shown;
};

}  // namespace wf::setup
