// The Printer Inventory dialog from a printer window: the data file of all
// printers or of one window, its errors, a run cancelled while a record is
// made, the report printed into a PDF, and the dialog's life with its owner.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/inventory_dlg.h"
#include "app/inventory_file.h"
#include "app/list_view.h"
#include "app/main_frame.h"
#include "app/window_list.h"
#include "app_fixture.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/controls.h"
#include "framework/printing.h"
#include "platform/runtime_dir.h"
#include "platform/window_messages.h"

namespace {

constexpr DWORD kTestFamily = 0x7E58;
constexpr UINT kInventory = 32835;

struct Model {
  std::string model;
  std::string serial;
};
std::map<std::string, Model> models;
// The printer whose record is being made when the status dialog is cancelled.
std::string cancelDuring;
std::atomic<HWND> statusWindow{0};

// A bidirectional printer whose record names its model and serial number.
class RecordIcon : public CWFPrinterIcon {
 public:
  RecordIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT nextHandle;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new RecordIcon(record, nextHandle); }

  short GetInventoryData(_WF_PRINTER_INFO* info, char* buffer) override {
    const std::string name = info->strName.str();
    if (name == cancelDuring) ::SendMessage(statusWindow.load(), WM_COMMAND, IDCANCEL, 0);
    std::vector<unsigned char> out(wf::inventory::kFixedPart, 0);
    out[2] = 1;
    out[3] = 128;  // local parallel port
    out[7] = 12;
    out[25] = 255;
    auto text = [&](const std::string& t) {
      out.push_back(static_cast<unsigned char>(t.size()));
      out.insert(out.end(), t.begin(), t.end());
    };
    text(name);
    out.push_back(0);
    const Model& m = models[name];
    text(m.model);
    text(m.serial);
    for (int i = 2; i < 12; ++i) text("");
    out.insert(out.end(), 5, 0);
    out.push_back(0);
    out.push_back(0);
    out[0] = static_cast<unsigned char>(out.size());
    out[1] = static_cast<unsigned char>(out.size() >> 8);
    std::memcpy(buffer, out.data(), out.size());
    return static_cast<short>(out.size());
  }
};
USHORT RecordIcon::nextHandle = 0;

std::string dataPath(const char* name) {
  return (wf::dataRoot().value() / name).string();
}

std::vector<unsigned char> bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The checksum worked out apart from the writer: minus the sum of the words
// after the first, an odd last byte over the previous word's high byte.
std::uint16_t inventoryFileChecksum(const std::vector<unsigned char>& file) {
  std::uint16_t sum = 0;
  std::uint8_t high = 0;
  for (std::size_t at = 2; at < file.size(); at += 2) {
    const std::uint8_t low = file[at];
    if (at + 1 < file.size()) high = file[at + 1];
    sum = static_cast<std::uint16_t>(sum - (low | (high << 8)));
  }
  return sum;
}

std::uint16_t word(const std::vector<unsigned char>& file, std::size_t at) {
  return static_cast<std::uint16_t>(file[at] | (file[at + 1] << 8));
}

class InventoryDialog : public wf::testing::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    static const DWORD ids[] = {kTestFamily};
    app_.GetPrinterDLLManager()->RegisterDLL(nullptr, "Test", 0, &RecordIcon::create, ids, 1, nullptr);
    models = {
        {"LPT1", {"Vireo 17", "S-100"}}, {"LPT2", {"Vireo 24", "S-200"}}, {"LPT3", {"Vireo 32", "S-300"}}};
    cancelDuring.clear();
    dialogs_.on(IDD_INVENTORY_STATUS, [](CDialog& status) { statusWindow = status.GetSafeHwnd(); });
    app_.SetPrtInvDataFile(dataPath("INVENTOR.DAT").c_str());
  }
  void TearDown() override {
    closeWindows(app_);
    dispatch();
    app_.GetPrinterList()->DeleteAllPrinters();
    AppFixture::TearDown();
  }

  CMainFrame* open(const char* title) { return openWindow(app_, title); }
  void printer(CMainFrame* window, const char* name) {
    ENUMBINARYDATA record{};
    std::strncpy(record.name, name, sizeof record.name - 1);
    record.familyKey = kTestFamily;
    NETADDRESS address{};
    std::strncpy(address.local, name, sizeof address.local - 1);
    RecordIcon::nextHandle = static_cast<USHORT>(200 + count_++);
    CWFPrinterIcon* icon = app_.GetPrinterList()->CreateGhostPrinter(&address, &record, 0);
    ASSERT_NE(icon, nullptr);
    window->GetView()->AddPrinter(icon);
  }
  // What the frame's update says of Printer Inventory.
  bool inventoryOffered(CMainFrame* window) {
    struct Ui : CCmdUI {
      bool enabled = false;
      void Enable(BOOL on) override { enabled = on; }
    } ui;
    ui.m_nID = kInventory;
    ui.DoUpdate(window, FALSE);
    return ui.enabled;
  }
  CPrtInvDlg* openInventory(CMainFrame* window) {
    window->SendMessage(WM_COMMAND, kInventory, 0);
    dispatch();
    return window->GetView()->GetInventoryDlg();
  }
  void check(CPrtInvDlg* dlg, UINT id, bool on) {
    auto* box = static_cast<CButton*>(dlg->GetDlgItem(id));
    if (static_cast<bool>(box->GetCheck()) != on) box->Click();
  }
  void runOk(CPrtInvDlg* dlg) {
    dlg->SendMessage(WM_COMMAND, IDOK, 0);
    dispatch();
  }
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& call : shell_.messageBox.calls()) out.push_back(call.caption + "|" + call.text);
    return out;
  }
  std::vector<std::string> recordNames(const std::string& path) {
    wf::inventory::Reader reader;
    std::vector<std::string> names;
    if (reader.Open(path) != wf::inventory::Failure::none) return {"(refused)"};
    wf::inventory::Record record;
    while (names.size() < reader.header().count && reader.Next(record) == wf::inventory::Failure::none)
      names.push_back(record.name + "/" + record.texts[wf::inventory::kSerial]);
    return names;
  }

  CWFApp app_;
  wf::fw::ScriptedDialogs dialogs_;
  wf::fw::ScriptedPrintDialog prints_;
  int count_ = 0;
};

TEST_F(InventoryDialog, OpensWithoutAPrinterAndGreysWhatPrintingNeeds) {
  CMainFrame* window = open("W1");
  printer(window, "LPT1");
  CPrtInvDlg* dlg = openInventory(window);
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(app_.IsPrinterInventoryActive());
  EXPECT_EQ(dlg->m_strDataFile, CString(dataPath("INVENTOR.DAT").c_str()));
  EXPECT_TRUE(dlg->m_bCreate);
  EXPECT_FALSE(dlg->m_bPrint);  // no default printer
  EXPECT_FALSE(dlg->GetDlgItem(IDC_INV_SETUP)->IsWindowEnabled());
  EXPECT_FALSE(dlg->GetDlgItem(IDC_INV_HEADER)->IsWindowEnabled());
  EXPECT_TRUE(dlg->GetDlgItem(IDC_INV_WINDOWONLY)->IsWindowEnabled());
  check(dlg, IDC_INV_CREATE, false);
  EXPECT_FALSE(dlg->GetDlgItem(IDOK)->IsWindowEnabled());
  EXPECT_FALSE(dlg->GetDlgItem(IDC_INV_BROWSE)->IsWindowEnabled());
  check(dlg, IDC_INV_PRINT, true);
  EXPECT_TRUE(dlg->GetDlgItem(IDOK)->IsWindowEnabled());
  EXPECT_TRUE(dlg->GetDlgItem(IDC_INV_HEADER)->IsWindowEnabled());

  // Help on a control opens the inventory's own help file with its topic.
  HELPINFO help;
  help.iCtrlId = IDC_INV_DATAFILE;
  help.hItemHandle = dlg->GetDlgItem(IDC_INV_DATAFILE)->m_hWnd;
  dlg->SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  const auto helped = shell_.help.calls();
  ASSERT_EQ(helped.size(), 1u);
  EXPECT_TRUE(helped[0].helpFile.ends_with("PRT_INV.HLP")) << helped[0].helpFile;
  EXPECT_EQ(helped[0].command, static_cast<UINT>(HELP_WM_HELP));
  EXPECT_NE(std::find(helped[0].controlTable.begin(), helped[0].controlTable.end(),
                      std::make_pair(DWORD{IDC_INV_DATAFILE}, DWORD{2351})),
            helped[0].controlTable.end());

  // A second Printer Inventory is greyed and does nothing.
  EXPECT_FALSE(inventoryOffered(window));
  EXPECT_EQ(openInventory(window), dlg);
  dlg->SendMessage(WM_COMMAND, IDC_INV_EXIT, 0);
  dispatch();
  EXPECT_FALSE(app_.IsPrinterInventoryActive());
  EXPECT_EQ(window->GetView()->GetInventoryDlg(), nullptr);
  EXPECT_TRUE(inventoryOffered(window));
}

TEST_F(InventoryDialog, WritesEveryPrinterSortedByNameWithCountAndChecksum) {
  CMainFrame* first = open("W1");
  CMainFrame* second = open("W2");
  printer(first, "LPT3");
  printer(second, "LPT1");
  printer(first, "LPT2");
  CPrtInvDlg* dlg = openInventory(first);
  runOk(dlg);
  const std::string path = dataPath("INVENTOR.DAT");
  EXPECT_EQ(recordNames(path), (std::vector<std::string>{"LPT1/S-100", "LPT2/S-200", "LPT3/S-300"}));
  const auto file = bytesOf(path);
  ASSERT_GT(file.size(), wf::inventory::kHeaderSize);
  EXPECT_EQ(word(file, 11), 3);
  EXPECT_EQ(word(file, 0), inventoryFileChecksum(file));
  EXPECT_TRUE(boxes().empty());

  // Only this window's printers, in the window's order.
  check(dlg, IDC_INV_WINDOWONLY, true);
  shell_.messageBox.script(IDYES);  // overwrite
  runOk(dlg);
  EXPECT_EQ(recordNames(path), (std::vector<std::string>{"LPT3/S-300", "LPT2/S-200"}));
  EXPECT_EQ(boxes(), (std::vector<std::string>{"Data File|File Exists.  Overwrite?"}));
}

TEST_F(InventoryDialog, FailuresAndRefusalsOfTheCreation) {
  CMainFrame* full = open("W1");
  CMainFrame* empty = open("W2");
  printer(full, "LPT1");
  const std::string path = dataPath("INVENTOR.DAT");

  // An existing file kept by No.
  { std::ofstream(path) << "keep me"; }
  CPrtInvDlg* dlg = openInventory(full);
  shell_.messageBox.script(IDNO);
  runOk(dlg);
  EXPECT_EQ(bytesOf(path), (std::vector<unsigned char>{'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
  dlg->SendMessage(WM_COMMAND, IDC_INV_EXIT, 0);
  dispatch();

  // Window-only on an empty window; a directory as the data file.
  std::remove(path.c_str());
  dlg = openInventory(empty);
  ASSERT_NE(dlg, nullptr);
  check(dlg, IDC_INV_WINDOWONLY, true);
  runOk(dlg);
  dlg->SetDlgItemText(IDC_INV_DATAFILE, wf::dataRoot()->string().c_str());
  check(dlg, IDC_INV_WINDOWONLY, false);
  runOk(dlg);
  dlg->SetDlgItemText(IDC_INV_DATAFILE, "");
  runOk(dlg);
  const auto texts = boxes();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1],
            "Data File Creation Error:|No printers were found.  The Printer Inventory was aborted.");
  EXPECT_EQ(texts[2], "Data File Creation Error:|File I/O error.");
  EXPECT_EQ(texts[3], "Data File Creation Error:|File I/O error.");
}

TEST_F(InventoryDialog, CancelWhileARecordIsMadeKeepsTheRecordsSoFarUncounted) {
  CMainFrame* window = open("W1");
  for (const char* name : {"LPT1", "LPT2", "LPT3"}) printer(window, name);
  cancelDuring = "LPT2";
  runOk(openInventory(window));
  const auto file = bytesOf(dataPath("INVENTOR.DAT"));
  ASSERT_GT(file.size(), wf::inventory::kHeaderSize);
  EXPECT_EQ(word(file, 0), 0);   // no checksum
  EXPECT_EQ(word(file, 11), 0);  // no count
  // LPT1's and LPT2's records, none of LPT3.
  const std::string text(file.begin(), file.end());
  EXPECT_NE(text.find("S-200"), std::string::npos);
  EXPECT_EQ(text.find("S-300"), std::string::npos);
  EXPECT_TRUE(boxes().empty());
}

TEST_F(InventoryDialog, CreatesAndPrintsTheReportIntoAPdf) {
  CMainFrame* window = open("W1");
  for (const char* name : {"LPT2", "LPT1", "LPT3"}) printer(window, name);
  const std::string pdf = dataPath("INVENTOR.pdf");
  // Setup chooses "Print to File (PDF)"; the print step keeps it.
  prints_.respondWith([pdf](const wf::fw::PrintDialogRequest&) {
    return wf::fw::PrintDialogResult{IDOK, {"PDF", "", pdf, 1, pdf}};
  });
  CPrtInvDlg* dlg = openInventory(window);
  dlg->SendMessage(WM_COMMAND, IDC_INV_SETUP, 0);
  EXPECT_TRUE(dlg->m_bPrint);
  EXPECT_EQ(dlg->m_strPrinter, CString(("PDF on " + pdf).c_str()));
  dlg->SetDlgItemText(IDC_INV_HEADER, "Third floor");
  runOk(dlg);
  EXPECT_TRUE(boxes().empty());
  const auto calls = prints_.calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.back().suggestedFile, pdf);
  EXPECT_TRUE(calls.back().flags & PD_RETURNDC);

  QProcess text;
  text.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
  ASSERT_TRUE(text.waitForFinished(60000)) << "pdftotext (poppler-utils) is needed";
  const std::string report = text.readAllStandardOutput().toStdString();
  for (const char* expected : {"Third floor", "LPT1", "Vireo 17", "S-100", "LPT2", "Vireo 24", "S-200",
                               "LPT3", "Vireo 32", "S-300", "Page 1"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
  EXPECT_LT(report.find("S-100"), report.find("S-200"));
}

TEST_F(InventoryDialog, ADamagedFileIsRefusedBeforeADocumentStarts) {
  CMainFrame* window = open("W1");
  printer(window, "LPT1");
  const std::string path = dataPath("INVENTOR.DAT");
  const std::string pdf = dataPath("INVENTOR.pdf");
  prints_.respondWith([pdf](const wf::fw::PrintDialogRequest&) {
    return wf::fw::PrintDialogResult{IDOK, {"PDF", "", pdf, 1, pdf}};
  });
  CPrtInvDlg* dlg = openInventory(window);
  check(dlg, IDC_INV_CREATE, false);
  check(dlg, IDC_INV_PRINT, true);
  runOk(dlg);  // no file
  { std::ofstream(path, std::ios::binary) << std::string("\0\0WFI\2\0\0\0\0\0\0\0", 13); }
  runOk(dlg);  // version 2
  EXPECT_EQ(boxes(),
            (std::vector<std::string>{"Data File Print Error:|The specified file does not exist.",
                                      "Data File Print Error:|The file cannot be processed.  It may be "
                                      "the wrong revision level or may have been corrupted.\n\n"}));
  struct stat info;
  EXPECT_NE(::stat(pdf.c_str(), &info), 0);  // nothing printed
}

TEST_F(InventoryDialog, ClosingTheOwningWindowEndsTheDialogAndOffersItAgain) {
  CMainFrame* first = open("W1");
  CMainFrame* second = open("W2");
  printer(first, "LPT1");
  ASSERT_NE(openInventory(second), nullptr);
  EXPECT_TRUE(app_.IsPrinterInventoryActive());
  second->DestroyWindow();
  dispatch();
  EXPECT_FALSE(app_.IsPrinterInventoryActive());
  CPrtInvDlg* again = openInventory(first);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(app_.IsPrinterInventoryActive());
}

}  // namespace

namespace {

TEST(InventoryShutdown, ARunningWorkerIsStoppedAndOneThatWillNotEndIsReported) {
  auto run = std::make_shared<wf::inventory::Run>();
  run->running = true;
  std::thread listening([run] {
    while (!run->cancel) std::this_thread::yield();
    run->running = false;
  });
  wf::inventory::RegisterActive(run);
  EXPECT_TRUE(wf::inventory::StopRunningWorker(60000));
  EXPECT_FALSE(run->running);
  listening.join();

  // A worker stuck in a record: shutdown gives up on it after its bound.
  auto stuck = std::make_shared<wf::inventory::Run>();
  stuck->running = true;
  wf::inventory::RegisterActive(stuck);
  EXPECT_FALSE(wf::inventory::StopRunningWorker(1));
  EXPECT_TRUE(stuck->cancel);

  stuck.reset();  // the run is gone: nothing is left to stop
  EXPECT_TRUE(wf::inventory::StopRunningWorker(1));
}

}  // namespace
