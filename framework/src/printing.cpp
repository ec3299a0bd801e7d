#include "framework/printing.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <atomic>

#include "dc_state.h"
#include "framework/wnd.h"
#include "platform/trace.h"
#include "wnd_widget.h"

IMPLEMENT_DYNAMIC(CPrintDialog, CObject)

namespace wf::fw {
namespace {

std::atomic<PrintDialogService*> installed{nullptr};

class QtPrintTarget : public PrintTarget {
 public:
  explicit QtPrintTarget(const PrinterChoice& choice) : printer_(QPrinter::HighResolution) {
    if (!choice.outputFile.empty()) {
      printer_.setOutputFormat(QPrinter::PdfFormat);
      printer_.setOutputFileName(QString::fromStdString(choice.outputFile));
    } else {
      printer_.setPrinterName(QString::fromStdString(choice.deviceName));
    }
    printer_.setFullPage(false);
  }
  QPaintDevice* device() override { return &printer_; }
  bool begin(QPainter& painter, const std::string& name) override {
    printer_.setDocName(QString::fromStdString(name));
    return painter.begin(&printer_);
  }
  bool newPage() override { return printer_.newPage(); }
  bool finish(QPainter& painter) override { return painter.end(); }
  void abort(QPainter& painter) override {
    printer_.abort();
    painter.end();
  }

 private:
  QPrinter printer_;
};

PrinterChoice choiceOf(const QPrinterInfo& info) {
  PrinterChoice choice;
  choice.deviceName = info.printerName().toStdString();
  choice.driverName = info.makeAndModel().toStdString();
  choice.portName = info.location().toStdString();
  return choice;
}

}  // namespace

PrintDialogService* installPrintDialogService(PrintDialogService* service) {
  return installed.exchange(service);
}

PrintDialogResult QtPrintDialog::run(const PrintDialogRequest& request) {
  PrintDialogResult result;
  if (request.flags & PD_RETURNDEFAULT) {
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return result;
    result.answer = IDOK;
    result.printer = choiceOf(info);
    return result;
  }
  QPrinter printer;
  if (!request.suggestedFile.empty())
    printer.setOutputFileName(QString::fromStdString(request.suggestedFile));
  if (!request.current.outputFile.empty())
    printer.setOutputFileName(QString::fromStdString(request.current.outputFile));
  else if (!request.current.deviceName.empty())
    printer.setPrinterName(QString::fromStdString(request.current.deviceName));
  printer.setCopyCount(request.current.copies);
  QPrintDialog dialog(&printer, widgetOf(request.owner));
  if (request.flags & PD_NOPAGENUMS) dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  if (request.flags & PD_NOSELECTION) dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  if (dialog.exec() != QDialog::Accepted) return result;
  result.answer = IDOK;
  result.printer.deviceName = printer.printerName().toStdString();
  result.printer.copies = printer.copyCount();
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    result.printer.deviceName = "PDF";
    result.printer.outputFile = printer.outputFileName().toStdString();
    result.printer.portName = result.printer.outputFile;
    return result;
  }
  QPrinterInfo info = QPrinterInfo::printerInfo(printer.printerName());
  if (!info.isNull()) {
    result.printer.driverName = info.makeAndModel().toStdString();
    result.printer.portName = info.location().toStdString();
  }
  return result;
}

ScriptedPrintDialog::ScriptedPrintDialog()
    : Scripted(PrintDialogResult{}), previous_(installPrintDialogService(this)) {}
ScriptedPrintDialog::~ScriptedPrintDialog() {
  installPrintDialogService(previous_);
}

}  // namespace wf::fw

HDC CreatePrinterDC(const wf::fw::PrinterChoice& printer) {
  if (printer.deviceName.empty() && printer.outputFile.empty()) return nullptr;
  auto* state = new CDC::State(CDC::State::Target::Printer);
  state->print = std::make_unique<wf::fw::QtPrintTarget>(printer);
  return state;
}

int CDC::StartDoc(LPCSTR docName) {
  State* state = wf::fw::dcState(m_hDC);
  if (!state || !state->print || state->printPainter) return -1;
  auto painter = std::make_unique<QPainter>();
  if (!state->print->begin(*painter, docName ? docName : "")) {
    wf::platformTrace("framework: the printer would not start a document");
    return -1;
  }
  state->printPainter = std::move(painter);
  state->inPage = false;
  state->pagesEnded = 0;
  return 1;
}

int CDC::StartPage() {
  State* state = wf::fw::dcState(m_hDC);
  if (!state || !state->printPainter || state->inPage) return -1;
  if (state->pagesEnded > 0 && !state->print->newPage()) return -1;
  state->inPage = true;
  return 1;
}

int CDC::EndPage() {
  State* state = wf::fw::dcState(m_hDC);
  if (!state || !state->printPainter || !state->inPage) return -1;
  state->inPage = false;
  ++state->pagesEnded;
  return 1;
}

int CDC::EndDoc() {
  State* state = wf::fw::dcState(m_hDC);
  if (!state || !state->printPainter) return -1;
  const bool done = state->print->finish(*state->printPainter);
  state->printPainter.reset();
  state->inPage = false;
  return done ? 1 : -1;
}

int CDC::AbortDoc() {
  State* state = wf::fw::dcState(m_hDC);
  if (!state || !state->printPainter) return -1;
  state->print->abort(*state->printPainter);
  state->printPainter.reset();
  state->inPage = false;
  return 1;
}

// ---- CPrintDialog ----

CPrintDialog::CPrintDialog(BOOL printSetupOnly, DWORD flags, CWnd* parent) : parent_(parent) {
  m_pd.Flags = flags | (printSetupOnly ? PD_PRINTSETUP : 0);
}

int CPrintDialog::run(DWORD flags) {
  wf::fw::PrintDialogService* service = wf::fw::installed.load();
  if (!service) {
    wf::platformTrace("framework: no print dialog service");
    return IDCANCEL;
  }
  wf::fw::PrintDialogRequest request;
  request.owner = parent_ ? parent_->m_hWnd : 0;
  request.flags = flags;
  request.fromPage = m_pd.nFromPage;
  request.toPage = m_pd.nToPage;
  request.current = choice_;
  request.current.copies = m_pd.nCopies;
  request.suggestedFile = suggested_;
  wf::fw::PrintDialogResult result = service->run(request);
  if (result.answer != IDOK) return IDCANCEL;
  choice_ = result.printer;
  m_pd.nCopies = static_cast<WORD>(std::max(1, choice_.copies));
  m_pd.hDC = (flags & PD_RETURNDC) ? CreatePrinterDC() : nullptr;
  return IDOK;
}

int CPrintDialog::DoModal() {
  return run(m_pd.Flags & ~PD_RETURNDEFAULT);
}

BOOL CPrintDialog::GetDefaults() {
  return run(m_pd.Flags | PD_RETURNDEFAULT) == IDOK;
}
