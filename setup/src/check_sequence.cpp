#include "setup/check_sequence.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "framework/shell_services.h"
#include "platform/paths.h"
#include "setup/checks.h"

namespace wf::setup {

namespace {

// Makes the directory current by its real (mapped) name.
void enterDirectory(const std::string& directory) {
  if (auto path = mapSystemPath(directory.empty() ? "/" : directory)) {
    std::error_code ec;
    std::filesystem::current_path(*path, ec);
  }
}

std::string withoutSeparator(const std::string& directory) {
  if (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\') &&
      !(directory.size() == 3 && directory[1] == ':'))
    return directory.substr(0, directory.size() - 1);
  return directory;
}

}  // namespace

CheckOutcome runChecks(const std::string& modulePath, const std::function<std::string(UINT)>& text, CheckUi& ui) {
  CheckOutcome outcome;
  const std::string caption = text(kTextCaption);
  auto fail = [&](const std::string& message, const std::string& boxCaption) {
    ui.showBox(message, boxCaption, MB_OK);
    return outcome;
  };
  if (!platformSupported()) return fail(text(kTextNotWindows95), caption);

  std::string another = text(kTextAnotherSetup);
  if (another.empty()) another = kAnotherSetupDefault;
  outcome.sourceDirectory = sourceDirectoryOf(modulePath);
  outcome.installLocation = installLocationOf(modulePath);
  enterDirectory(outcome.sourceDirectory);
  if (anotherSetupRuns()) return fail(another, caption);

  const SpaceNeeded need = spaceNeeded(outcome.sourceDirectory);
  if (need.missingFile) {
    const char format[] = "Could not find %s on the installation diskette\nError: %li";
    std::vector<char> message(sizeof format + need.missingFile->size() + 24);
    std::snprintf(message.data(), message.size(), format, need.missingFile->c_str(), static_cast<long>(need.error));
    return fail(message.data(), "File Load Error");
  }
  if (freeBytesOnWindowsDrive() < need.bytes) return fail(text(kTextNoSpace), caption);

  recordInstallLocation(outcome.installLocation);
  enterDirectory(outcome.sourceDirectory);

  if (productsIniIn(outcome.sourceDirectory)) {
    outcome.productsIniFound = true;
    ui.showSplash(false);
    const int answer = ui.showBox(text(kTextServerQuestion), caption, MB_YESNO);
    ui.showSplash(true);
    if (answer == IDYES) {
      outcome.normalMode = false;
      outcome.serverDirectory = withoutSeparator(outcome.sourceDirectory);
    }
  }
  outcome.passed = true;
  return outcome;
}

}  // namespace wf::setup
