#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "eventually.h"
#include "file_filter.h"
#include "framework/qt_shell.h"
#include "framework/shell_calls.h"
#include "framework/wnd.h"
#include "test_dirs.h"
#include "wnd_widget.h"

namespace fs = std::filesystem;

namespace {

// Acts on the modal widget of type W as soon as it is up; the box under test
// runs its own loop, in which this timer fires.
template <class W>
void whenModal(std::function<void(W*)> act) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (auto* w = qobject_cast<W*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      act(w);
    }
  });
  timer->start(0);
}

}  // namespace

TEST(QtShell, InstallsItselfWhileItLives) {
  {
    wf::fw::QtShell shell;
    EXPECT_NE(wf::fw::shellServices().messageBox, nullptr);
  }
  EXPECT_EQ(wf::fw::shellServices().messageBox, nullptr);
}

TEST(QtShell, MessageBoxIsAnsweredThroughItsButtons) {
  wf::fw::QtShell shell;
  struct Case {
    UINT style;
    QMessageBox::StandardButton click;  // NoButton: press Escape
    int answer;
    QMessageBox::Icon icon;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONEXCLAMATION, QMessageBox::Ok, IDOK, QMessageBox::Warning},
      {MB_OKCANCEL, QMessageBox::NoButton, IDCANCEL, QMessageBox::NoIcon},
      {MB_YESNO | MB_ICONQUESTION, QMessageBox::No, IDNO, QMessageBox::Question},
      {MB_YESNOCANCEL, QMessageBox::Yes, IDYES, QMessageBox::NoIcon},
      {MB_ABORTRETRYIGNORE | MB_ICONSTOP, QMessageBox::Retry, IDRETRY, QMessageBox::Critical},
      {MB_ABORTRETRYIGNORE, QMessageBox::Ignore, IDIGNORE, QMessageBox::NoIcon},
      {MB_RETRYCANCEL | MB_ICONINFORMATION, QMessageBox::Cancel, IDCANCEL, QMessageBox::Information},
  };
  for (const Case& c : cases) {
    QString seenText, seenCaption;
    QMessageBox::Icon seenIcon{};
    whenModal<QMessageBox>([&](QMessageBox* box) {
      seenText = box->text();
      seenCaption = box->windowTitle();
      seenIcon = box->icon();
      if (c.click == QMessageBox::NoButton) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &escape);
      } else
        box->button(c.click)->click();
    });
    EXPECT_EQ(MessageBox(0, "Job Statistics Error: \"x\"", "File Error", c.style), c.answer) << c.style;
    EXPECT_EQ(seenText, QStringLiteral("Job Statistics Error: \"x\""));
    EXPECT_EQ(seenCaption, QStringLiteral("File Error"));
    EXPECT_EQ(seenIcon, c.icon) << c.style;
  }
}

TEST(QtShell, MessageBoxAskedOnAnotherThreadIsShownOnTheGuiThread) {
  wf::fw::QtShell shell;
  QThread* shownOn = nullptr;
  whenModal<QMessageBox>([&](QMessageBox* box) {
    shownOn = QThread::currentThread();
    box->button(QMessageBox::Yes)->click();
  });
  std::atomic<int> answer{-1};
  QEventLoop loop;
  std::thread worker([&] {
    answer = MessageBox(0, "From a worker", "Wrenfield", MB_YESNO);
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  EXPECT_EQ(answer, IDYES);
  EXPECT_EQ(shownOn, QApplication::instance()->thread());
}

TEST(QtShell, DefaultButtonFollowsTheStyle) {
  wf::fw::QtShell shell;
  QString defaultText;
  whenModal<QMessageBox>([&](QMessageBox* box) {
    defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
    box->defaultButton()->click();
  });
  EXPECT_EQ(MessageBox(0, "Quit?", "Quick Setup ", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_FALSE(defaultText.isEmpty());
}

// A program run end to end: boxes answered from the answers file in order,
// then shown again once its lines are used up; every box in the snapshot.
TEST(QtShell, AnswersFileAnswersBoxesAndTheSnapshotListsThem) {
  const fs::path dir = wf::testing::testDataRoot();
  fs::create_directories(dir);
  const fs::path answers = dir / "answers", snapshot = dir / "ui.snapshot";
  std::ofstream(answers) << "box: 7\n200: click 1\nbox: nonsense\nbox: 1\n";
  ::setenv("WRENFIELD_UI_ANSWERS", answers.c_str(), 1);
  ::setenv("WRENFIELD_UI_SNAPSHOT", snapshot.c_str(), 1);
  wf::fw::QtShell shell;
  EXPECT_EQ(MessageBox(0, "Install on a server?", "Setup", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBox(0, "Could not find A.EXE\nError: 2", "File Load Error", MB_OK), IDOK);
  bool shown = false;
  whenModal<QMessageBox>([&](QMessageBox* box) {
    shown = true;
    box->button(QMessageBox::Retry)->click();
  });
  EXPECT_EQ(MessageBox(0, "Again?", "Setup", MB_RETRYCANCEL), IDRETRY);
  EXPECT_TRUE(shown);
  ::unsetenv("WRENFIELD_UI_ANSWERS");
  ::unsetenv("WRENFIELD_UI_SNAPSHOT");

  std::ifstream in(snapshot);
  std::vector<std::string> boxes;
  for (std::string line; std::getline(in, line);)
    if (line.rfind("box\t", 0) == 0) boxes.push_back(line);
  EXPECT_EQ(boxes, (std::vector<std::string>{"box\tSetup\tInstall on a server?\t7",
                                             "box\tFile Load Error\tCould not find A.EXE Error: 2\t1",
                                             "box\tSetup\tAgain?\t4"}));
}

TEST(QtShell, SaveDialogAddsTheDefaultExtension) {
  wf::fw::QtShell shell;
  fs::path dir = wf::testing::testDataRoot();
  fs::create_directories(dir);
  QStringList offered;
  whenModal<QFileDialog>([&](QFileDialog* dialog) {
    offered = dialog->nameFilters();
    dialog->setDirectory(QString::fromStdString(dir.string()));
    dialog->selectFile(QStringLiteral("printer1"));
    static_cast<QDialog*>(dialog)->accept();  // what the Save button does
  });
  wf::fw::FileDialogRequest request{false,
                                    0,
                                    "Quick Setup ",
                                    "psf",
                                    "",
                                    "Quick Setup Files (*.PSF)|*.PSF|All Files (*.*)|*.*||",
                                    OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY};
  wf::fw::FileDialogResult result = wf::fw::shellServices().fileDialog->run(request);
  EXPECT_EQ(result.answer, IDOK);
  EXPECT_EQ(fs::path(result.path), dir / "printer1.psf");
  EXPECT_EQ(offered, (QStringList{"Quick Setup Files (*.PSF *.psf)", "All Files (*.*)"}));

  whenModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
  request.open = true;
  result = wf::fw::shellServices().fileDialog->run(request);
  EXPECT_EQ(result.answer, IDCANCEL);
  EXPECT_TRUE(result.path.empty());
}

TEST(QtShell, BoxesAndFileDialogsSitOnTheirOwnersWidget) {
  wf::fw::QtShell shell;
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, "BoxOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0));
  QWidget* ownerWidget = wf::fw::widgetOf(owner.m_hWnd);
  ASSERT_NE(ownerWidget, nullptr);
  CWnd gone;
  ASSERT_TRUE(gone.CreateEx(0, "BoxOwner", "gone", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, 0));
  const HWND goneHandle = gone.m_hWnd;
  ASSERT_TRUE(gone.DestroyWindow());

  struct Case {
    HWND owner;
    QWidget* parent;
  };
  const Case cases[] = {{owner.m_hWnd, ownerWidget}, {0, nullptr}, {goneHandle, nullptr}};
  for (const Case& c : cases) {
    QWidget* boxParent = reinterpret_cast<QWidget*>(1);
    whenModal<QMessageBox>([&](QMessageBox* box) {
      boxParent = box->parentWidget();
      box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(MessageBox(c.owner, "Printer not found", "Wrenfield", MB_OK), IDOK);
    EXPECT_EQ(boxParent, c.parent) << c.owner;

    QWidget* dialogParent = reinterpret_cast<QWidget*>(1);
    whenModal<QFileDialog>([&](QFileDialog* dialog) {
      dialogParent = dialog->parentWidget();
      dialog->reject();
    });
    wf::fw::FileDialogRequest request;
    request.owner = c.owner;
    EXPECT_EQ(wf::fw::shellServices().fileDialog->run(request).answer, IDCANCEL);
    EXPECT_EQ(dialogParent, c.parent) << c.owner;
  }
}

TEST(QtShell, ACentredFileDialogSitsOverTheMiddleOfItsOwner) {
  wf::fw::QtShell shell;
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, "BoxOwner", "owner", WS_OVERLAPPEDWINDOW, 300, 200, 640, 480, 0));
  QWidget* ownerWidget = wf::fw::widgetOf(owner.m_hWnd);
  ASSERT_NE(ownerWidget, nullptr);
  QPoint dialogCentre;
  whenModal<QFileDialog>([&](QFileDialog* dialog) {
    dialogCentre = dialog->mapToGlobal(dialog->rect().center());
    dialog->reject();
  });
  wf::fw::FileDialogRequest request;
  request.owner = owner.m_hWnd;
  request.centred = true;
  EXPECT_EQ(wf::fw::shellServices().fileDialog->run(request).answer, IDCANCEL);
  const QPoint ownerCentre = ownerWidget->mapToGlobal(ownerWidget->rect().center());
  EXPECT_LE((dialogCentre - ownerCentre).manhattanLength(), 2)
      << dialogCentre.x() << "," << dialogCentre.y() << " vs " << ownerCentre.x() << "," << ownerCentre.y();
}

TEST(QtShell, HelpShowsThatItIsNotInstalledAndQuitClosesIt) {
  wf::fw::QtShell shell;
  EXPECT_TRUE(WinHelp(0, "WRENFLD.HLP", HELP_CONTEXT, 2231));
  auto notices = [] {
    QList<QMessageBox*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) shown << box;
    return shown;
  };
  ASSERT_EQ(notices().size(), 1);
  EXPECT_TRUE(notices().front()->text().contains("WRENFLD.HLP"));
  EXPECT_TRUE(notices().front()->text().contains("2231"));
  EXPECT_TRUE(WinHelp(0, "WRENFLD.HLP", HELP_QUIT, 0));
  EXPECT_TRUE(notices().isEmpty());
}

TEST(QtShell, StartsProgramsDetachedAndReportsFailure) {
  wf::fw::QtShell shell;
  fs::path dir = wf::testing::testDataRoot();
  fs::create_directories(dir);
  fs::path marker = dir / "started";
  fs::path script = dir / "prog.sh";
  // Written aside and renamed: the marker appears only with its line in it.
  std::ofstream(script) << "#!/bin/sh\necho \"$1\" > \"$2.part\" && mv \"$2.part\" \"$2\"\n";
  fs::permissions(script, fs::perms::owner_all);

  EXPECT_TRUE(wf::fw::startProgram(script.c_str(), ("-u " + marker.string()).c_str(), SW_HIDE));
  wf::testing::eventually([&] { return fs::exists(marker); });
  std::string line;
  std::getline(std::ifstream(marker), line);
  EXPECT_EQ(line, "-u");
  EXPECT_FALSE(wf::fw::startProgram((dir / "missing").c_str(), "", SW_HIDE));
  EXPECT_EQ(WinExec((dir / "missing").c_str(), SW_SHOWNORMAL), 2u);
}

TEST(QtShell, WaitCursorOverridesUntilTheLastEnd) {
  wf::fw::QtShell shell;
  {
    CWaitCursor outer;
    {
      CWaitCursor inner;
      ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
      EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(FileFilter, OriginalFilterTextsBecomeNameFilters) {
  struct Case {
    const char* filter;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"Wave Files (*.WAV)|*.WAV|AllFiles (*.*)|*.*||", {"Wave Files (*.WAV *.wav)", "AllFiles (*.*)"}},
      {"Portbay Flash Files (*.pfc)|*.pfc|All Files (*.*)|*.*||",
       {"Portbay Flash Files (*.pfc *.PFC)", "All Files (*.*)"}},
      {"Text|*.txt;*.LOG||", {"Text (*.txt *.TXT *.LOG *.log)"}},
      {"", {}},
      {"No pattern|||", {}},
      {"Unended|*.dat", {"Unended (*.dat *.DAT)"}},
  };
  for (const Case& c : cases) EXPECT_EQ(wf::fw::nameFiltersFromFilter(c.filter), c.want) << c.filter;
}
