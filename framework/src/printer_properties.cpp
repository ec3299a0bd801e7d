#include "framework/printer_properties.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>

#include <atomic>
#include <cstdint>

#include "gui_thread.h"
#include "platform/spooler.h"
#include "wnd_widget.h"

namespace wf::fw {
namespace {

std::atomic<PrinterPropertiesService*> installedPropertiesService{nullptr};

BOOL showQtDialog(const PrinterPropertiesRequest& request) {
  if (!isGuiThread()) return FALSE;
  QDialog dialog(widgetOf(request.parent));
  dialog.setWindowTitle(QString::fromStdString(request.name) + QStringLiteral(" Properties"));
  auto* form = new QFormLayout(&dialog);
  // Read-only: the texts can be selected and copied, never changed.
  for (const auto& [label, text] : {std::pair{"Printer:", &request.name}, std::pair{"Port:", &request.port},
                                    std::pair{"Driver:", &request.driver}}) {
    auto* value = new QLabel(QString::fromStdString(*text), &dialog);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QString::fromLatin1(label), value);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  dialog.exec();
  return TRUE;
}

}  // namespace

PrinterPropertiesService* installPrinterPropertiesService(PrinterPropertiesService* service) {
  return installedPropertiesService.exchange(service);
}

ScriptedPrinterProperties::ScriptedPrinterProperties()
    : Scripted(TRUE), previous_(installPrinterPropertiesService(this)) {}

ScriptedPrinterProperties::~ScriptedPrinterProperties() {
  installPrinterPropertiesService(previous_);
}

}  // namespace wf::fw

BOOL PrinterProperties(HWND parent, HANDLE printer) {
  const auto handle = static_cast<wf::spool::PrinterHandle>(reinterpret_cast<std::uintptr_t>(printer));
  wf::fw::PrinterPropertiesRequest request;
  request.parent = parent;
  if (wf::spool::spooler().getPrinterIdentity(handle, request.name, request.port, request.driver) !=
      wf::spool::kSuccess)
    return FALSE;
  if (wf::fw::PrinterPropertiesService* service = wf::fw::installedPropertiesService.load()) return service->show(request);
  return wf::fw::showQtDialog(request);
}
