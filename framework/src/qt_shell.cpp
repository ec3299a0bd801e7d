#include "framework/qt_shell.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include "file_filter.h"
#include "frame_idle.h"
#include "modal_loop.h"
#include "framework/shell_services.h"
#include "platform/trace.h"
#include "sound_player.h"
#include "ui_answers.h"
#include "wnd_widget.h"

namespace wf::fw {
namespace {

QString shellQs(const std::string& s) {
  return QString::fromStdString(s);
}

// Widgets live on the GUI thread: a call from another thread waits there.
template <class Result, class F>
Result onGuiThread(Result failed, F f) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    platformTrace("shell: no application object for a dialog");
    return failed;
  }
  if (QThread::currentThread() == app->thread()) return f();
  Result result = failed;
  QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection, &result);
  return result;
}

class QtMessageBox : public MessageBoxService {
 public:
  int show(const MessageBoxRequest& r) override {
    return onGuiThread(0, [&r] {
      // A run driven from an answers file is answered without showing the box.
      const std::optional<int> scripted = scriptedBoxAnswer();
      const int answer = scripted ? *scripted : run(r);
      recordShownBox(r.caption, r.text, answer);
      return answer;
    });
  }

 private:
  static int run(const MessageBoxRequest& r) {
    using B = QMessageBox::StandardButton;
    struct Choice {
      QMessageBox::StandardButtons buttons;
      B order[3];
      B escape;
    };
    static const Choice kChoices[] = {
        {B::Ok, {B::Ok}, B::Ok},
        {B::Ok | B::Cancel, {B::Ok, B::Cancel}, B::Cancel},
        {B::Abort | B::Retry | B::Ignore, {B::Abort, B::Retry, B::Ignore}, B::NoButton},
        {B::Yes | B::No | B::Cancel, {B::Yes, B::No, B::Cancel}, B::Cancel},
        {B::Yes | B::No, {B::Yes, B::No}, B::NoButton},
        {B::Retry | B::Cancel, {B::Retry, B::Cancel}, B::Cancel},
    };
    UINT type = r.style & MB_TYPEMASK;
    const Choice& choice = kChoices[type < std::size(kChoices) ? type : 0];

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (r.style & MB_ICONMASK) {
      case MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
      case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
      case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
      case MB_ICONASTERISK:
        icon = QMessageBox::Information;
        break;
    }
    // The session is ending: answered as its escape, as if shown and closed.
    if (sessionEnded()) return choice.escape == B::Ok ? IDOK : IDCANCEL;
    QMessageBox box(icon, shellQs(r.caption), shellQs(r.text), choice.buttons, widgetOf(r.owner));
    std::size_t def = (r.style & MB_DEFMASK) >> 8;
    if (def < 3 && choice.order[def] != B::NoButton) box.setDefaultButton(choice.order[def]);
    if (choice.escape != B::NoButton) box.setEscapeButton(choice.escape);
    // Once shown: a program run end to end says what is on screen.
    QTimer::singleShot(0, &box, [] { writeUiSnapshot(); });
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
      case B::Ok:
        return IDOK;
      case B::Cancel:
        return IDCANCEL;
      case B::Abort:
        return IDABORT;
      case B::Retry:
        return IDRETRY;
      case B::Ignore:
        return IDIGNORE;
      case B::Yes:
        return IDYES;
      case B::No:
        return IDNO;
      default:
        return choice.escape == B::Ok ? IDOK : IDCANCEL;
    }
  }
};

class QtFileDialog : public FileDialogService {
 public:
  FileDialogResult run(const FileDialogRequest& r) override {
    return onGuiThread(FileDialogResult{}, [&r] { return exec(r); });
  }

 private:
  static FileDialogResult exec(const FileDialogRequest& r) {
    if (sessionEnded()) return {};
    QFileDialog dialog(widgetOf(r.owner), shellQs(r.title));
    dialog.setAcceptMode(r.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(r.open && (r.flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                               : QFileDialog::AnyFile);
    if (!r.open && !(r.flags & OFN_OVERWRITEPROMPT)) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!r.defaultExtension.empty()) dialog.setDefaultSuffix(shellQs(r.defaultExtension));
    QStringList filters;
    for (const std::string& f : nameFiltersFromFilter(r.filter)) filters << shellQs(f);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!r.fileName.empty()) dialog.selectFile(shellQs(r.fileName));
    if (QWidget* owner = widgetOf(r.owner); r.centred && owner) {
      dialog.resize(dialog.sizeHint());
      const QPoint centre = owner->mapToGlobal(owner->rect().center());
      dialog.move(centre - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return {IDOK, dialog.selectedFiles().front().toStdString()};
  }
};

// The help files are not shipped: say so, with what was asked for.
class QtHelp : public HelpService {
 public:
  BOOL help(const HelpRequest& r) override {
    platformTrace("help: file \"" + r.helpFile + "\" command " + std::to_string(r.command) + " context " +
                  std::to_string(r.context));
    return onGuiThread(FALSE, [this, &r] { return show(r); });
  }

 private:
  BOOL show(const HelpRequest& r) {
    if (r.command == HELP_QUIT) {
      if (notice_) notice_->close();
      return TRUE;
    }
    QString text = QStringLiteral("Help is not installed.\n\nHelp file: %1").arg(shellQs(r.helpFile));
    if (r.context) text += QStringLiteral("\nTopic: %1").arg(r.context);
    if (!notice_) {
      notice_ = new QMessageBox(QMessageBox::Information, QStringLiteral("Help"), text, QMessageBox::Ok);
      notice_->setAttribute(Qt::WA_DeleteOnClose);
    }
    notice_->setText(text);
    notice_->show();
    return TRUE;
  }
  QPointer<QMessageBox> notice_;
};

class QtLauncher : public ProgramLauncher {
 public:
  BOOL start(const ProgramStart& r) override {
    QProcess process;
    process.setProgram(shellQs(r.program));
    QStringList args;
    for (const std::string& a : r.arguments) args << shellQs(a);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    if (r.show == SW_HIDE) {
      process.setStandardOutputFile(QProcess::nullDevice());
      process.setStandardErrorFile(QProcess::nullDevice());
    }
    return process.startDetached() ? TRUE : FALSE;
  }
};

class QtWaitCursor : public WaitCursorService {
 public:
  void begin() override {
    post([] { QGuiApplication::setOverrideCursor(Qt::WaitCursor); });
  }
  void end() override {
    post([] { QGuiApplication::restoreOverrideCursor(); });
  }

 private:
  template <class F>
  static void post(F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread())
      f();
    else
      QMetaObject::invokeMethod(app, f, Qt::QueuedConnection);
  }
};

}  // namespace

struct QtShell::Impl {
  QtMessageBox messageBox;
  QtFileDialog fileDialog;
  QtHelp help;
  PlayerSound sound;
  QtLauncher programs;
  QtWaitCursor waitCursor;
  ShellServices previous;
};

QtShell::QtShell() : impl_(std::make_unique<Impl>()) {
  Impl& i = *impl_;
  i.previous =
      installShellServices({&i.messageBox, &i.fileDialog, &i.help, &i.sound, &i.programs, &i.waitCursor});
}

QtShell::~QtShell() {
  installShellServices(impl_->previous);
}

}  // namespace wf::fw
