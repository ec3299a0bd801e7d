#pragma once
// Printing: the print and print-setup dialogs as a shell service (real one
// on Qt, scripted double for tests), and printer device contexts that draw
// pages through Qt's print support onto a printer or into a PDF file.
#include <string>

#include "framework/dc.h"
#include "framework/scripted_shell.h"

// Print dialog flags.
constexpr DWORD PD_ALLPAGES = 0x00000000;
constexpr DWORD PD_NOSELECTION = 0x00000004;
constexpr DWORD PD_NOPAGENUMS = 0x00000008;
constexpr DWORD PD_COLLATE = 0x00000010;
constexpr DWORD PD_PRINTSETUP = 0x00000040;
constexpr DWORD PD_RETURNDC = 0x00000100;
constexpr DWORD PD_RETURNDEFAULT = 0x00000400;

namespace wf::fw {

struct PrinterChoice {
  std::string deviceName;  // empty: no printer
  std::string driverName;
  std::string portName;
  int copies = 1;
  std::string outputFile;  // not empty: the pages go into this PDF file
};

struct PrintDialogRequest {
  HWND owner = 0;
  DWORD flags = 0;  // PD_PRINTSETUP for the setup dialog; PD_RETURNDEFAULT answers without showing
  int fromPage = 1;
  int toPage = 0xFFFF;
  PrinterChoice current;      // what the dialog starts from
  std::string suggestedFile;  // where "Print to File (PDF)" starts
};

struct PrintDialogResult {
  int answer = IDCANCEL;
  PrinterChoice printer;
};

class PrintDialogService {
 public:
  virtual ~PrintDialogService() = default;
  virtual PrintDialogResult run(const PrintDialogRequest& request) = 0;
};

// Returns the previous one; not owned. Without one the dialogs answer IDCANCEL.
PrintDialogService* installPrintDialogService(PrintDialogService* service);

// The system's dialogs: the default printer for PD_RETURNDEFAULT, otherwise
// the Qt print dialog. "Print to File (PDF)" answers as a printer: device
// "PDF", port the file's path. On the GUI thread only.
class QtPrintDialog : public PrintDialogService {
 public:
  PrintDialogResult run(const PrintDialogRequest& request) override;
};

// Installs itself while it lives.
class ScriptedPrintDialog : public PrintDialogService,
                            public Scripted<PrintDialogRequest, PrintDialogResult> {
 public:
  ScriptedPrintDialog();
  ~ScriptedPrintDialog() override;
  PrintDialogResult run(const PrintDialogRequest& request) override { return answer(request); }

 private:
  PrintDialogService* previous_;
};

}  // namespace wf::fw

// A printer context for `printer`; the caller deletes it (DeleteDC or a CDC
// that attaches it). Null when there is no printer.
HDC CreatePrinterDC(const wf::fw::PrinterChoice& printer);

struct PRINTDLG {
  HWND hwndOwner = 0;
  HDC hDC = nullptr;
  DWORD Flags = 0;
  WORD nFromPage = 1;
  WORD nToPage = 0xFFFF;
  WORD nCopies = 1;
};

// Remembers the chosen printer between runs, as one dialog object kept for
// the life of its owner does.
class CPrintDialog : public CObject {
  DECLARE_DYNAMIC(CPrintDialog)
 public:
  CPrintDialog(BOOL printSetupOnly, DWORD flags = PD_ALLPAGES | PD_NOPAGENUMS | PD_NOSELECTION,
               CWnd* parent = nullptr);

  // IDOK or IDCANCEL; with PD_RETURNDC the context is in m_pd.hDC.
  int DoModal();
  // The default printer without showing anything.
  BOOL GetDefaults();
  CString GetDeviceName() const { return CString(choice_.deviceName); }
  CString GetDriverName() const { return CString(choice_.driverName); }
  CString GetPortName() const { return CString(choice_.portName); }
  int GetCopies() const { return choice_.copies; }
  // A new context for the chosen printer; the caller deletes it.
  HDC CreatePrinterDC() { return ::CreatePrinterDC(choice_); }
  HDC GetPrinterDC() const { return m_pd.hDC; }
  // The file "Print to File (PDF)" offers first.
  void SetSuggestedFile(const std::string& path) { suggested_ = path; }

  PRINTDLG m_pd;

 private:
  int run(DWORD flags);
  CWnd* parent_;
  wf::fw::PrinterChoice choice_;
  std::string suggested_;
};
