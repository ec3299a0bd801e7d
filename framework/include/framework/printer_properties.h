#pragma once
// The shell's property sheet of a spooler printer: a read-only view of its
// name, port and driver. PrinterProperties asks the installed service (a
// scripted double in tests), else shows the Qt dialog itself.
#include <string>

#include "framework/scripted_shell.h"
#include "framework/win_thread.h"
#include "framework/wnd.h"

namespace wf::fw {

struct PrinterPropertiesRequest {
  HWND parent = 0;
  std::string name;
  std::string port;
  std::string driver;
};

class PrinterPropertiesService {
 public:
  virtual ~PrinterPropertiesService() = default;
  // Blocks until the user closes it; FALSE when it could not be shown.
  virtual BOOL show(const PrinterPropertiesRequest& request) = 0;
};

// Returns the previous one; not owned. Null puts the Qt dialog back.
PrinterPropertiesService* installPrinterPropertiesService(PrinterPropertiesService* service);

// Installs itself while it lives.
class ScriptedPrinterProperties : public PrinterPropertiesService,
                                  public Scripted<PrinterPropertiesRequest, BOOL> {
 public:
  ScriptedPrinterProperties();
  ~ScriptedPrinterProperties() override;
  BOOL show(const PrinterPropertiesRequest& request) override { return answer(request); }

 private:
  PrinterPropertiesService* previous_;
};

}  // namespace wf::fw

// The printer opened with the spooler's openPrinter; the caller still closes it.
// FALSE for a handle the spooler does not know, or when nothing could be shown.
BOOL PrinterProperties(HWND parent, HANDLE printer);
