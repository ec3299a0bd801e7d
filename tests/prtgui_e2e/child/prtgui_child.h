#pragma once
// Typed client of wf-prtguichild: the printer list, the printer manager and
// the icons of one application over the real broker.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "typed_child.h"

namespace wf::testing {

struct PrinterIconView {
  std::uint16_t handle = 0;
  std::string name;
  std::string port;
  std::string model;
  bool ghost = false;
  bool operator==(const PrinterIconView&) const = default;
};

// A message the icon's alert storage holds.
struct StoredAlert {
  int specific = 0;
  int subType = 0;
  int state = 0;
  int hardError = 0;
  std::string text;
  bool operator==(const StoredAlert&) const = default;
};

// The notification of a printed test page, or none when it never started.
struct TestPageDone {
  bool started = false;
  long result = 0;        // wParam
  bool fromIcon = false;  // lParam is the icon
  bool operator==(const TestPageDone&) const = default;
};

// What a Quick Setup run showed: the progress bar, how many WM_WF_QSDONE
// came, and the message boxes.
struct QuickSetupRun {
  bool bar = false;  // the dialog had a progress bar
  int barLow = 0;
  int barHigh = 0;
  int barPosition = 0;
  int done = 0;
  std::vector<std::string> boxes;
  bool operator==(const QuickSetupRun&) const = default;
};

// The icon's values after its fill worker ran.
struct GraphicInfo {
  std::string serial;
  unsigned long speed = 0;
  unsigned long memoryKb = 0;
  unsigned long flash = 0;
  unsigned long disk = 0;
  unsigned long tray1Capacity = 0;
  unsigned long tray2Capacity = 0;
  unsigned long tray1Size = 0;
  unsigned long codeLevels = 0;
  unsigned long totalPages = 0;
  unsigned long userPages = 0;
  bool operator==(const GraphicInfo&) const = default;
};

// An icon's open notebook, or none when `open` is false.
struct NotebookView {
  bool open = false;
  int pages = 0;
  int currentPage = 0;
  int x = 0;  // the frame's top-left corner
  int y = 0;
  std::string statusLine;
  std::string title;
  int statisticsShown = 0;  // how often the statistics page showed its data
  std::string printerStatus;
  bool operator==(const NotebookView&) const = default;
};

// A control of a notebook page after a command.
struct ControlView {
  bool enabled = false;
  bool checked = false;
  std::string text;
};

// A list or combo box of a notebook page after a command.
struct ListView {
  bool enabled = false;
  int selected = -1;
  std::vector<std::string> items;
  // The selected item's text; "" with none selected.
  std::string shown() const { return selected >= 0 ? items.at(static_cast<std::size_t>(selected)) : ""; }
};

// A message box the icon showed, and whether its owner was the given parent.
struct MessageBoxShown {
  std::string caption;
  unsigned style = 0;
  std::string text;
  bool owned = false;
  bool operator==(const MessageBoxShown&) const = default;
};

// What a download did: its result, the parent's handle and instance the
// tool kit was given (as printed), how often the driver chooser ran, and
// the message boxes.
struct DownloadRun {
  bool result = false;
  std::string parent;
  std::string instance;
  int chooserRuns = 0;
  std::vector<MessageBoxShown> boxes;
};

// The status page's printer picture: the printer bitmap and the option
// bitmaps copied onto it, in drawing order.
struct PrinterPicture {
  struct Piece {
    unsigned id = 0;
    bool top = false;
    bool left = false;
    bool operator==(const Piece&) const = default;
  };
  unsigned bitmap = 0;
  std::vector<Piece> pieces;
  bool operator==(const PrinterPicture&) const = default;
};

// A Quick Setup run started from the operator panel page: how often the file
// dialog was asked, and the message boxes up to the transfer's end.
struct PageQuickSetup {
  int fileDialogs = 0;
  std::vector<std::string> boxes;
  bool operator==(const PageQuickSetup&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PrinterIconView& i);
std::ostream& operator<<(std::ostream& out, const PageQuickSetup& q);
std::ostream& operator<<(std::ostream& out, const MessageBoxShown& b);
std::ostream& operator<<(std::ostream& out, const NotebookView& n);
std::ostream& operator<<(std::ostream& out, const StoredAlert& a);
std::ostream& operator<<(std::ostream& out, const TestPageDone& t);
std::ostream& operator<<(std::ostream& out, const QuickSetupRun& q);
std::ostream& operator<<(std::ostream& out, const GraphicInfo& g);
std::ostream& operator<<(std::ostream& out, const PrinterPicture& p);

struct ResourcePageView {
  std::string files;
  std::string flashFree;
  std::string diskFree;
  bool refresh = false;
  std::vector<std::string> rows;
};

// The lamps of a Tidewater status or operator-panel page: each lamp's state
// and whether it is lit now, whether the blink list runs, and the panel
// page's text of the light pattern.
struct PanelLampsView {
  std::vector<int> states;
  std::vector<int> lit;
  bool blinking = false;
  std::string text;
};

// Send on the Tidewater operator-panel page: the file dialogs asked, whether
// a transfer ran to its end, and the message boxes.
struct QuickSetupSendRun {
  int fileDialogs = 0;
  bool ended = false;
  std::vector<std::string> boxes;
};

class PrtGuiChild : public TypedChild {
 public:
  PrtGuiChild() : TypedChild(ChildProcess("wf-prtguichild")) {}

  // Builds the application; its id.
  int start();
  // Enumerates the whole system; how many printers were added.
  int enumerate();
  // A window's saved printer on `port`, with ghosts shown or not.
  void saved(const std::string& port, bool ghosts);
  // The icons in list order, models determined first as a printer window does.
  std::vector<PrinterIconView> icons();
  // One more or one less user of the icon; the alert mask armed after it.
  std::uint32_t use(std::uint16_t handle);
  std::uint32_t unuse(std::uint16_t handle);
  std::vector<StoredAlert> alerts(std::uint16_t handle);
  // Sound files played so far, once due sounds ran.
  std::vector<std::string> sounds();
  std::uint32_t panel(std::uint16_t handle, bool on);
  // Broker messages the alert service handled, as "message result".
  std::vector<std::string> handled();
  // Registers the Meridian family (keys 1 and 5) over the test family.
  void meridian();
  // Registers the Halcyon family (key 6) over the test family.
  void halcyon();
  // The job statistics service writing `file`; tracking of a Meridian printer.
  void jobStats(const std::string& file);
  std::uint32_t track(std::uint16_t handle, bool on);
  // Help for the icon's current error: the help context asked, 0 for none.
  unsigned long help(std::uint16_t handle);
  TestPageDone testPage(std::uint16_t handle, const std::string& programDirectory);
  QuickSetupRun quickSetup(bool send, std::uint16_t handle, const std::string& file);
  GraphicInfo graphic(std::uint16_t handle);
  // After the fill worker ran: the first hard error's bitmap alone, else 3600 with its options.
  PrinterPicture picture(std::uint16_t handle);
  // The inventory record's bytes.
  std::string inventory(std::uint16_t handle, const std::string& name);
  // The inventory data file of every printer, cancelled once `cancelFile`
  // exists ("-": never); the run's result code.
  int inventoryFile(const std::string& path, const std::string& cancelFile = "-");
  // That file's report printed into `pdf`; the result code.
  int inventoryPrint(const std::string& dataFile, const std::string& pdf);
  // The user page count after the page-count worker ran.
  unsigned long pageCounts(std::uint16_t handle, bool reset);
  // The Tidewater family module takes keys 3 and 8 for printers found from now on.
  void tidewater();
  // Types `text` into control `id` of notebook page `page`.
  void setText(std::uint16_t handle, int page, int id, const std::string& text);
  // The factory-defaults question answers `answer` (IDOK, IDCANCEL) from now on.
  void confirm(int answer);
  // Message boxes shown since the last asking.
  std::vector<MessageBoxShown> boxes();
  // The Tidewater icon's advanced settings, in reading order, then the
  // count of settings queries pending.
  std::vector<int> tidewaterSettings(std::uint16_t handle);
  // Whether the icon's printer object can be borrowed.
  void lockObject(std::uint16_t handle, bool locked);
  // Opens the icon's notebook on `view` (0: its default view) and lets its workers run.
  NotebookView open(std::uint16_t handle, int view);
  NotebookView notebook(std::uint16_t handle);
  // Closes the notebook; the icon's default view afterwards.
  int close(std::uint16_t handle);
  // Shows notebook page `page`, acts on control `id`, and reads it back.
  enum class Act { Read, Click, ToggleAndClick };
  ControlView control(std::uint16_t handle, int page, int id, Act act = Act::Read);
  // Shows notebook page `page`, chooses item `index` of list `id` as the
  // user would (-1: none), and reads the list back.
  ListView choose(std::uint16_t handle, int page, int id, int index = -1);
  // Downloads `kind` ("font", "demo", "overlay"); the chooser picks `line`
  // with OK, or is cancelled for "cancel".
  DownloadRun download(std::uint16_t handle, const std::string& kind, const std::string& line);
  // Save (or Restore) on the open notebook's page `page`, the file dialog
  // answering OK with `file`, the restore question OK; returns once the
  // transfer ended.
  PageQuickSetup quickSetupOnPage(std::uint16_t handle, int page, bool save, const std::string& file);
  // The lines (0 to 3) of the status page's mini panel that show text; -1
  // stands for drawing outside them.
  std::vector<int> miniPanelLines(std::uint16_t handle);
  // Pixels of WFGUIDLL's bitmap `id` that differ from the status page's
  // printer picture where it would be drawn; -1 when it does not fit there.
  enum class Corner { Whole, BottomLeft, BottomRight };
  int pictureMismatches(std::uint16_t handle, unsigned id, Corner corner);
  // Lets the tool kit go, as before the driver update program runs.
  void freeToolKit();
  // Builds the application with the Meridian family module registered first.
  int startMeridian();
  // The resource page once no listing runs: files count, flash and disk
  // free texts, Refresh, and its rows as "description;device;size;id".
  ResourcePageView resources(std::uint16_t handle);
  // Runs a copy, move, delete or format dialog on the row `description`
  // ("-" for none), pressing radio `radio` (0: none) then OK, and OK again
  // once its result came; the status texts it showed, in order.
  std::vector<std::string> resourceOperation(std::uint16_t handle, const std::string& operation,
                                             const std::string& description, int radio = 0);
  // How many work items run so far had a label holding `text`.
  int worked(const std::string& text);
  PanelLampsView lamps(std::uint16_t handle, int page);
  // One tick of the application's blink list.
  void blink();
  // Send on the open notebook's Tidewater panel page `page`: the question
  // answered `answer`, the file dialog OK with each of `files`, then cancelled.
  QuickSetupSendRun quickSetupSend(std::uint16_t handle, int page, int answer,
                                   const std::vector<std::string>& files);
  // The Keystone family module takes key 7 for printers found from now on.
  void keystone();
  // Sets the job-buffering page to `percent` and the port bits `ports`,
  // applies, answers the power-on reset question `reset`; the page read
  // again ("<percent> <ports>") then the progress dialog's status texts.
  std::vector<std::string> jobBuffering(std::uint16_t handle, int percent, unsigned ports, bool reset);
  // The open notebook's Keystone tray levels page, shown and refreshed: for
  // the trays 7103, 7104 and 7105, whether its gauge shows, its level name
  // and its gauge's colour ("fill", "warn" or "empty").
  struct TrayLevel {
    bool shown = false;
    std::string text;
    std::string gauge;
    bool operator==(const TrayLevel&) const = default;
  };
  std::vector<TrayLevel> trayLevels(std::uint16_t handle);
  // Ends the process the ordinary way; it answers nothing.
  void quit();
};

}  // namespace wf::testing
