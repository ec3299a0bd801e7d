#include "prtgui_child.h"

#include <iomanip>

#include "hex_bytes.h"

namespace wf::testing {
namespace {

// Items of an "ok|a|b" answer.
std::vector<std::string> items(const std::string& text) {
  if (text.empty()) return {};
  if (text[0] != '|') throw ChildError("not a list: " + text);
  return splitList(text.substr(1), '|');
}

unsigned long unsignedNumber(const std::string& text) {
  return std::stoul(text);
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const PrinterIconView& i) {
  return out << "{" << i.handle << " " << std::quoted(i.name) << " " << i.port << " " << std::quoted(i.model)
             << (i.ghost ? " ghost}" : " live}");
}
std::ostream& operator<<(std::ostream& out, const PageQuickSetup& q) {
  out << "{" << q.fileDialogs << " file dialogs, boxes ";
  return printList(out, q.boxes) << "}";
}
std::ostream& operator<<(std::ostream& out, const StoredAlert& a) {
  return out << "{" << a.specific << ";" << a.subType << ";" << a.state << ";" << a.hardError << ";"
             << std::quoted(a.text) << "}";
}
std::ostream& operator<<(std::ostream& out, const TestPageDone& t) {
  if (!t.started) return out << "{not started}";
  return out << "{result " << t.result << ", from icon " << t.fromIcon << "}";
}
std::ostream& operator<<(std::ostream& out, const QuickSetupRun& q) {
  out << "{bar " << (q.bar ? "" : "(none) ") << q.barLow << ".." << q.barHigh << " at " << q.barPosition
      << ", done " << q.done << ", boxes ";
  return printList(out, q.boxes) << "}";
}
std::ostream& operator<<(std::ostream& out, const GraphicInfo& g) {
  return out << "{" << g.serial << ";" << g.speed << ";" << g.memoryKb << ";" << g.flash << ";" << g.disk
             << ";" << g.tray1Capacity << ";" << g.tray2Capacity << ";" << g.tray1Size << ";" << g.codeLevels
             << ";" << g.totalPages << ";" << g.userPages << "}";
}

std::ostream& operator<<(std::ostream& out, const NotebookView& n) {
  if (!n.open) return out << "{closed}";
  return out << "{" << n.pages << " pages;" << n.currentPage << ";" << n.x << "," << n.y << ";"
             << n.statusLine << ";" << n.title << ";" << n.statisticsShown << ";" << n.printerStatus << "}";
}

std::ostream& operator<<(std::ostream& out, const MessageBoxShown& b) {
  return out << "{" << b.caption << ";" << b.style << ";" << b.text << (b.owned ? ";owned}" : ";not owned}");
}

namespace {
NotebookView notebookView(const std::string& text) {
  if (text == "closed") return {};
  auto f = splitList(text, ';');
  if (f.size() < 7) throw ChildError("bad notebook answer: " + text);
  f.resize(8);  // an empty printer status ends the text
  return {
      true, std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), f[4], f[5], std::stoi(f[6]),
      f[7]};
}
}  // namespace

std::ostream& operator<<(std::ostream& out, const PrinterPicture& p) {
  out << "{" << p.bitmap;
  for (const auto& piece : p.pieces)
    out << " " << piece.id << (piece.top ? " top" : " bottom") << (piece.left ? "-left" : "-right");
  return out << "}";
}

int PrtGuiChild::start() {
  return static_cast<int>(expectNumber("start"));
}
int PrtGuiChild::startMeridian() {
  return static_cast<int>(expectNumber("start meridian"));
}
ResourcePageView PrtGuiChild::resources(std::uint16_t handle) {
  auto rows = splitList(expectText("reslist " + std::to_string(handle)), '|');
  const auto head = splitList(rows.at(0), ';');
  if (head.size() != 4) throw ChildError("bad resource page answer: " + rows.at(0));
  rows.erase(rows.begin());
  return {head[0], head[1], head[2], head[3] == "1", rows};
}
std::vector<std::string> PrtGuiChild::resourceOperation(std::uint16_t handle, const std::string& operation,
                                                        const std::string& description, int radio) {
  return items(expectText("resop " + std::to_string(handle) + " " + operation + " " + std::to_string(radio) +
                          " " + description));
}
void PrtGuiChild::keystone() {
  expectOk("keystone");
}
std::vector<std::string> PrtGuiChild::jobBuffering(std::uint16_t handle, int percent, unsigned ports,
                                                   bool reset) {
  return splitList(expectText("jobbuf " + std::to_string(handle) + " " + std::to_string(percent) + " " +
                              std::to_string(ports) + (reset ? " yes" : " no")),
                   '|');
}
int PrtGuiChild::enumerate() {
  return static_cast<int>(expectNumber("enumerate"));
}
void PrtGuiChild::saved(const std::string& port, bool ghosts) {
  expectOk("saved " + port + (ghosts ? " 1" : " 0"));
}
std::vector<PrinterIconView> PrtGuiChild::icons() {
  std::vector<PrinterIconView> out;
  for (const auto& item : items(expectText("icons"))) {
    auto f = splitList(item, ';');
    f.resize(5);
    out.push_back({static_cast<std::uint16_t>(std::stoul(f[0])), f[1], f[2], f[3], f[4] == "ghost"});
  }
  return out;
}
std::uint32_t PrtGuiChild::use(std::uint16_t handle) {
  return static_cast<std::uint32_t>(expectNumber("use " + std::to_string(handle)));
}
std::uint32_t PrtGuiChild::unuse(std::uint16_t handle) {
  return static_cast<std::uint32_t>(expectNumber("unuse " + std::to_string(handle)));
}
std::vector<StoredAlert> PrtGuiChild::alerts(std::uint16_t handle) {
  std::vector<StoredAlert> out;
  for (const auto& item : items(expectText("alerts " + std::to_string(handle)))) {
    auto f = splitList(item, ';');
    if (f.size() < 5) throw ChildError("bad alert: " + item);
    out.push_back({std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), f[4]});
  }
  return out;
}
std::vector<std::string> PrtGuiChild::sounds() {
  return items(expectText("sounds"));
}
std::uint32_t PrtGuiChild::panel(std::uint16_t handle, bool on) {
  return static_cast<std::uint32_t>(expectNumber("panel " + std::to_string(handle) + (on ? " 1" : " 0")));
}
std::vector<std::string> PrtGuiChild::handled() {
  return items(expectText("handled"));
}
void PrtGuiChild::meridian() {
  expectOk("meridian");
}
void PrtGuiChild::halcyon() {
  expectOk("halcyon");
}
void PrtGuiChild::jobStats(const std::string& file) {
  expectOk("jobstats " + file);
}
std::uint32_t PrtGuiChild::track(std::uint16_t handle, bool on) {
  return static_cast<std::uint32_t>(expectNumber("track " + std::to_string(handle) + (on ? " 1" : " 0")));
}
unsigned long PrtGuiChild::help(std::uint16_t handle) {
  return expectNumber("help " + std::to_string(handle));
}
TestPageDone PrtGuiChild::testPage(std::uint16_t handle, const std::string& programDirectory) {
  const ChildAnswer a = expectOk("testpage " + std::to_string(handle) + " " + programDirectory);
  if (a.field(0) == "not") return {};
  return {true, static_cast<long>(a.number(0)), a.number(1) != 0};
}
QuickSetupRun PrtGuiChild::quickSetup(bool send, std::uint16_t handle, const std::string& file) {
  const std::string text =
      expectText(std::string("qs ") + (send ? "send " : "recv ") + std::to_string(handle) + " " + file);
  const auto bar = text.find('|');
  // "<low> <high> <position> <done>", or "<done>" alone when the dialog had no bar.
  const ChildAnswer numbers = ChildAnswer::parse("ok " + text.substr(0, bar));
  QuickSetupRun run;
  if (numbers.fields.size() == 4) {
    run.bar = true;
    run.barLow = static_cast<int>(numbers.number(0));
    run.barHigh = static_cast<int>(numbers.number(1));
    run.barPosition = static_cast<int>(numbers.number(2));
  }
  run.done = static_cast<int>(numbers.number(numbers.fields.size() - 1));
  if (bar != std::string::npos) run.boxes = items(text.substr(bar));
  return run;
}
GraphicInfo PrtGuiChild::graphic(std::uint16_t handle) {
  const auto f = splitList(expectText("graphic " + std::to_string(handle)), ';');
  if (f.size() != 11) throw ChildError("bad graphic answer");
  return {f[0],
          unsignedNumber(f[1]),
          unsignedNumber(f[2]),
          unsignedNumber(f[3]),
          unsignedNumber(f[4]),
          unsignedNumber(f[5]),
          unsignedNumber(f[6]),
          unsignedNumber(f[7]),
          unsignedNumber(f[8]),
          unsignedNumber(f[9]),
          unsignedNumber(f[10])};
}
PrinterPicture PrtGuiChild::picture(std::uint16_t handle) {
  const std::string text = expectText("picture " + std::to_string(handle));
  const auto bar = text.find('|');
  PrinterPicture picture{static_cast<unsigned>(unsignedNumber(text.substr(0, bar))), {}};
  if (bar == std::string::npos) return picture;
  for (const auto& item : items(text.substr(bar))) {
    const auto f = splitList(item, ';');
    if (f.size() != 3) throw ChildError("bad picture piece: " + item);
    picture.pieces.push_back({static_cast<unsigned>(unsignedNumber(f[0])), f[1] == "1", f[2] == "1"});
  }
  return picture;
}
std::string PrtGuiChild::inventory(std::uint16_t handle, const std::string& name) {
  return hex(expectText("inventory " + std::to_string(handle) + " " + name));
}
int PrtGuiChild::inventoryFile(const std::string& path, const std::string& cancelFile) {
  return static_cast<int>(expectNumber("inventoryfile " + path + " " + cancelFile, 120000));
}
int PrtGuiChild::inventoryPrint(const std::string& dataFile, const std::string& pdf) {
  return static_cast<int>(expectNumber("inventoryprint " + dataFile + " " + pdf));
}
unsigned long PrtGuiChild::pageCounts(std::uint16_t handle, bool reset) {
  return static_cast<unsigned long>(
      expectNumber("pagecounts " + std::to_string(handle) + (reset ? " 1" : " 0")));
}
NotebookView PrtGuiChild::open(std::uint16_t handle, int view) {
  return notebookView(expectText("open " + std::to_string(handle) + " " + std::to_string(view)));
}
NotebookView PrtGuiChild::notebook(std::uint16_t handle) {
  return notebookView(expectText("notebook " + std::to_string(handle)));
}
int PrtGuiChild::close(std::uint16_t handle) {
  const std::string text = expectText("close " + std::to_string(handle));
  const auto blank = text.rfind(' ');
  if (blank == std::string::npos || notebookView(text.substr(0, blank)).open)
    throw ChildError("notebook still open: " + text);
  return std::stoi(text.substr(blank + 1));
}
void PrtGuiChild::tidewater() {
  expectText("tidewater");
}
void PrtGuiChild::setText(std::uint16_t handle, int page, int id, const std::string& text) {
  expectText("settext " + std::to_string(handle) + " " + std::to_string(page) + " " + std::to_string(id) +
             " " + text);
}
void PrtGuiChild::confirm(int answer) {
  expectText("confirm " + std::to_string(answer));
}
std::vector<MessageBoxShown> PrtGuiChild::boxes() {
  std::vector<MessageBoxShown> out;
  for (const auto& item : items(expectText("boxes"))) {
    const auto f = splitList(item, ';');
    if (f.size() != 3) throw ChildError("bad message box: " + item);
    out.push_back({f[0], static_cast<unsigned>(std::stoul(f[1])), f[2], false});
  }
  return out;
}
std::vector<int> PrtGuiChild::tidewaterSettings(std::uint16_t handle) {
  std::vector<int> out;
  for (const auto& f : splitList(expectText("twsettings " + std::to_string(handle)), ' '))
    out.push_back(std::stoi(f));
  return out;
}
void PrtGuiChild::lockObject(std::uint16_t handle, bool locked) {
  expectText("lockobject " + std::to_string(handle) + (locked ? " 1" : " 0"));
}
ControlView PrtGuiChild::control(std::uint16_t handle, int page, int id, Act act) {
  const std::string text = expectText("control " + std::to_string(handle) + " " + std::to_string(page) + " " +
                                      std::to_string(id) + " " + std::to_string(static_cast<int>(act)));
  if (text.size() < 3 || (text[0] != '0' && text[0] != '1') || (text[2] != '0' && text[2] != '1'))
    throw ChildError("bad control answer: " + text);
  return {text[0] == '1', text[2] == '1', text.size() > 4 ? text.substr(4) : std::string()};
}
ListView PrtGuiChild::choose(std::uint16_t handle, int page, int id, int index) {
  auto parts = splitList(expectText("choose " + std::to_string(handle) + " " + std::to_string(page) + " " +
                                    std::to_string(id) + " " + std::to_string(index)),
                         '|');
  const auto head = splitList(parts.at(0), ' ');
  if (head.size() != 2) throw ChildError("bad choose answer: " + parts.at(0));
  return {head[0] == "1", std::stoi(head[1]), {parts.begin() + 1, parts.end()}};
}
DownloadRun PrtGuiChild::download(std::uint16_t handle, const std::string& kind, const std::string& line) {
  const auto parts =
      splitList(expectText("download " + std::to_string(handle) + " " + kind + " " + line), '|');
  const auto head = splitList(parts.at(0), ' ');
  if (head.size() != 4) throw ChildError("bad download answer: " + parts.at(0));
  DownloadRun run{head[0] != "0", head[1], head[2], std::stoi(head[3]), {}};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto f = splitList(parts[i], ';');
    if (f.size() != 4) throw ChildError("bad message box: " + parts[i]);
    run.boxes.push_back({f[0], static_cast<unsigned>(std::stoul(f[1])), f[2], f[3] == "owned"});
  }
  return run;
}
PageQuickSetup PrtGuiChild::quickSetupOnPage(std::uint16_t handle, int page, bool save,
                                             const std::string& file) {
  const auto parts = items("|" + expectText("qspage " + std::to_string(handle) + " " + std::to_string(page) +
                                            (save ? " save " : " restore ") + file));
  if (parts.empty()) throw ChildError("empty qspage answer");
  return {std::stoi(parts[0]), {parts.begin() + 1, parts.end()}};
}
std::vector<int> PrtGuiChild::miniPanelLines(std::uint16_t handle) {
  std::vector<int> out;
  for (const auto& line : items(expectText("panelink " + std::to_string(handle))))
    out.push_back(std::stoi(line));
  return out;
}
int PrtGuiChild::pictureMismatches(std::uint16_t handle, unsigned id, Corner corner) {
  static const char* const where[] = {"whole", "bottom-left", "bottom-right"};
  return static_cast<int>(expectNumber("shows " + std::to_string(handle) + " " + std::to_string(id) + " " +
                                       where[static_cast<int>(corner)]));
}
int PrtGuiChild::worked(const std::string& text) {
  return static_cast<int>(expectNumber("worked " + text));
}
PanelLampsView PrtGuiChild::lamps(std::uint16_t handle, int page) {
  const std::string text = expectText("twlamps " + std::to_string(handle) + " " + std::to_string(page));
  const auto bar = text.find('|');
  if (bar == std::string::npos) throw ChildError("bad twlamps answer: " + text);
  const auto f = splitList(text.substr(0, bar), ' ');
  if (f.size() != 13) throw ChildError("bad twlamps answer: " + text);
  PanelLampsView view;
  for (int i = 0; i < 6; ++i) {
    view.states.push_back(std::stoi(f[i]));
    view.lit.push_back(std::stoi(f[6 + i]));
  }
  view.blinking = f[12] == "1";
  view.text = text.substr(bar + 1);
  return view;
}
void PrtGuiChild::blink() {
  expectOk("blink");
}
QuickSetupSendRun PrtGuiChild::quickSetupSend(std::uint16_t handle, int page, int answer,
                                              const std::vector<std::string>& files) {
  std::string command =
      "twqssend " + std::to_string(handle) + " " + std::to_string(page) + " " + std::to_string(answer);
  for (const auto& file : files) command += " " + file;
  auto parts = splitList(expectText(command), '|');
  const auto head = splitList(parts.at(0), ' ');
  if (head.size() != 2) throw ChildError("bad twqssend answer: " + parts.at(0));
  return {std::stoi(head[0]), head[1] == "1", {parts.begin() + 1, parts.end()}};
}
void PrtGuiChild::freeToolKit() {
  expectOk("freetoolkit");
}
void PrtGuiChild::quit() {
  process().call("quit");
}

std::vector<PrtGuiChild::TrayLevel> PrtGuiChild::trayLevels(std::uint16_t handle) {
  std::vector<TrayLevel> out;
  for (const auto& item : items(expectText("kytrays " + std::to_string(handle)))) {
    const auto f = splitList(item, ';');
    if (f.size() != 3) throw ChildError("bad tray level: " + item);
    out.push_back({f[0] == "1", f[1], f[2]});
  }
  return out;
}

}  // namespace wf::testing
