#include "ui_answers.h"

#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>

#include "framework/controls.h"
#include "platform/regular_file.h"
#include "platform/trace.h"

namespace wf::fw {

namespace {

// A page of scripted answers; anything larger is not one.
constexpr std::size_t kAnswersBytes = 1024 * 1024;

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The answers not used yet: by template, and the boxes' in order; read once.
struct ScriptedAnswers {
  std::map<UINT, std::deque<std::string>> byTemplate;
  std::deque<int> boxes;
};

std::mutex answersLock;

ScriptedAnswers& answers() {
  static ScriptedAnswers all;
  static bool read = false;
  if (!read) {
    read = true;
    const char* path = std::getenv("WRENFIELD_UI_ANSWERS");
    std::string why;
    const auto text = path && *path ? wf::readRegularFile(path, kAnswersBytes, &why) : std::nullopt;
    if (path && *path && !text) wf::platformTrace("ui answers not used: " + why);
    std::istringstream file(text.value_or(std::string()));
    std::string line;
    while (std::getline(file, line)) {
      const size_t colon = line.find(':');
      if (colon == std::string::npos) continue;
      char* end = nullptr;
      if (trim(line.substr(0, colon)) == "box") {
        const std::string button = trim(line.substr(colon + 1));
        const long id = std::strtol(button.c_str(), &end, 10);
        if (!button.empty() && *end == '\0' && id > 0) all.boxes.push_back(static_cast<int>(id));
        continue;
      }
      const unsigned long id = std::strtoul(line.c_str(), &end, 10);
      if (end == line.c_str()) continue;
      all.byTemplate[static_cast<UINT>(id)].push_back(line.substr(colon + 1));
    }
  }
  return all;
}

void runStep(CDialog& dialog, const std::string& step) {
  std::istringstream in(step);
  std::string verb;
  int id = 0;
  in >> verb >> id;
  CWnd* control = dialog.GetDlgItem(id);
  if (!control) return;
  if (verb == "text") {
    std::string text;
    std::getline(in, text);
    text = trim(text);
    if (auto* edit = dynamic_cast<CEdit*>(control))
      edit->TypeText(text.c_str());
    else
      control->SetWindowText(text.c_str());
  } else if (verb == "check") {
    int wanted = 0;
    in >> wanted;
    auto* button = dynamic_cast<CButton*>(control);
    if (button && button->GetCheck() != wanted) button->Click();
  } else if (verb == "click") {
    if (auto* button = dynamic_cast<CButton*>(control)) button->Click();
  }
}

}  // namespace

DialogAction scriptedAnswer(UINT templateId) {
  std::string line;
  {
    std::lock_guard guard(answersLock);
    auto& all = answers().byTemplate;
    auto it = all.find(templateId);
    if (it == all.end() || it->second.empty()) return {};
    line = it->second.front();
    it->second.pop_front();
  }
  return [line](CDialog& dialog) {
    std::istringstream steps(line);
    std::string step;
    while (std::getline(steps, step, ';')) {
      if (!dialog.GetSafeHwnd()) return;
      runStep(dialog, trim(step));
    }
  };
}

std::optional<int> scriptedBoxAnswer() {
  std::lock_guard guard(answersLock);
  auto& boxes = answers().boxes;
  if (boxes.empty()) return std::nullopt;
  const int answer = boxes.front();
  boxes.pop_front();
  return answer;
}

}  // namespace wf::fw
