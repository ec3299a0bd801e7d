#pragma once
// The checks setup runs before copying, in their order; the first that fails
// shows its box and ends them. What the window shows is asked of a CheckUi,
// so the same sequence runs on the program's splash and in tests.
#include <functional>
#include <string>

#include "platform/win_types.h"

namespace wf::setup {

// Texts of "dllres.dll" the checks show.
constexpr UINT kTextCaption = 6;
constexpr UINT kTextNotWindows95 = 8;
constexpr UINT kTextNoSpace = 9;
constexpr UINT kTextServerQuestion = 18;
constexpr UINT kTextAnotherSetup = 217;
constexpr char kAnotherSetupDefault[] =
    "Another setup program is currently running.\nPlease complete that process and try here again later.";

class CheckUi {
 public:
  virtual ~CheckUi() = default;
  // A message box; answers the button chosen (IDOK, IDYES, ...).
  virtual int showBox(const std::string& text, const std::string& caption, UINT style) = 0;
  virtual void showSplash(bool shown) = 0;
};

struct CheckOutcome {
  bool passed = false;
  bool productsIniFound = false;
  bool normalMode = true;        // cleared when the user chose the server installation
  std::string serverDirectory;   // set when not in normal mode
  std::string sourceDirectory;   // with its separator
  std::string installLocation;
};

// The platform, another setup, the room the list needs, the registry, the
// source directory made current, and the server question when
// "products.ini" is there. `text` gives a text of the resource library
// (empty when it has none).
CheckOutcome runChecks(const std::string& modulePath, const std::function<std::string(UINT)>& text, CheckUi& ui);

}  // namespace wf::setup
