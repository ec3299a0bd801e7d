// Printer contexts writing PDF documents, and the print dialogs as a service.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <string>

#include "framework/printing.h"
#include "platform/runtime_dir.h"

namespace {

// Page objects in a PDF file (the page tree node "/Pages" not counted).
int pdfPageCount(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return -1;
  const QString text = QString::fromLatin1(file.readAll());
  return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page(?![s\\w])")));
}

std::string pdfPath(const char* name) {
  return wf::runtimePath(name).value_or(name).string();
}

TEST(Printing, TwoPageDocumentGivesAPdfWithTwoPages) {
  const std::string path = pdfPath("report.pdf");
  CDC dc;
  ASSERT_TRUE(dc.Attach(CreatePrinterDC({"", "", "", 1, path})));
  const int width = dc.GetDeviceCaps(HORZRES);
  const int height = dc.GetDeviceCaps(VERTRES);
  EXPECT_GT(width, 1000);  // a page at printer resolution, not at screen size
  EXPECT_GT(height, width);
  TEXTMETRIC tm;
  ASSERT_TRUE(dc.GetTextMetrics(&tm));
  EXPECT_GT(tm.tmHeight, 20);  // the stock font keeps its size at printer resolution

  EXPECT_FALSE(dc.TextOut(0, 0, "before the document"));
  ASSERT_GT(dc.StartDoc("INVENTOR.DAT"), 0);
  EXPECT_LE(dc.StartDoc("again"), 0);
  ASSERT_GT(dc.StartPage(), 0);
  EXPECT_TRUE(dc.TextOut(0, 0, "Printer Name: first"));
  EXPECT_TRUE(dc.Rectangle(0, tm.tmHeight, width / 2, 2 * tm.tmHeight));
  ASSERT_GT(dc.EndPage(), 0);
  EXPECT_FALSE(dc.TextOut(0, 0, "between pages"));
  EXPECT_LE(dc.EndPage(), 0);
  ASSERT_GT(dc.StartPage(), 0);
  EXPECT_TRUE(dc.TextOut(0, 0, "Printer Name: second"));
  ASSERT_GT(dc.EndPage(), 0);
  ASSERT_GT(dc.EndDoc(), 0);
  EXPECT_LE(dc.EndDoc(), 0);
  dc.DeleteDC();
  EXPECT_EQ(pdfPageCount(path), 2);
}

TEST(Printing, PageCallsOutsideADocumentFailAndNonPrinterContextsCannotPrint) {
  HDC printer = CreatePrinterDC({"", "", "", 1, pdfPath("none.pdf")});
  ASSERT_NE(printer, nullptr);
  CDC* dc = CDC::FromHandle(printer);
  ASSERT_NE(dc, nullptr);
  EXPECT_LE(dc->StartPage(), 0);
  EXPECT_LE(dc->EndPage(), 0);
  EXPECT_LE(dc->EndDoc(), 0);
  EXPECT_TRUE(DeleteDC(printer));
  EXPECT_EQ(CDC::FromHandle(printer), nullptr);
  EXPECT_FALSE(DeleteDC(printer));

  CDC memory;
  memory.CreateCompatibleDC(nullptr);
  EXPECT_LE(memory.StartDoc("x"), 0);
  EXPECT_EQ(CreatePrinterDC({}), nullptr);  // no printer chosen
}

TEST(Printing, AbortedDocumentLeavesTheContextReusable) {
  const std::string path = pdfPath("second.pdf");
  CDC dc;
  dc.Attach(CreatePrinterDC({"", "", "", 1, path}));
  ASSERT_GT(dc.StartDoc("first"), 0);
  ASSERT_GT(dc.StartPage(), 0);
  EXPECT_GT(dc.AbortDoc(), 0);
  ASSERT_GT(dc.StartDoc("second"), 0);
  ASSERT_GT(dc.StartPage(), 0);
  ASSERT_GT(dc.EndPage(), 0);
  ASSERT_GT(dc.EndDoc(), 0);
  EXPECT_EQ(pdfPageCount(path), 1);
}

TEST(Printing, DialogsAskTheServiceAndRememberTheChoice) {
  wf::fw::ScriptedPrintDialog dialogs;
  const std::string path = pdfPath("chosen.pdf");
  dialogs.script({IDOK, {"Office Laser", "Laser driver", "LPT1:", 1, ""}});
  dialogs.script({IDOK, {"PDF", "", "", 3, path}});
  dialogs.script({IDCANCEL, {}});

  CPrintDialog print(FALSE, PD_ALLPAGES | PD_NOPAGENUMS | PD_NOSELECTION | PD_COLLATE);
  ASSERT_TRUE(print.GetDefaults());
  EXPECT_EQ(print.GetDeviceName(), CString("Office Laser"));
  EXPECT_EQ(print.GetPortName(), CString("LPT1:"));
  EXPECT_EQ(print.GetPrinterDC(), nullptr);

  CPrintDialog setup(TRUE);
  setup.m_pd.Flags |= PD_RETURNDC;
  setup.SetSuggestedFile(path);
  ASSERT_EQ(setup.DoModal(), IDOK);
  EXPECT_EQ(setup.GetCopies(), 3);
  HDC chosen = setup.GetPrinterDC();
  ASSERT_NE(chosen, nullptr);
  EXPECT_GT(CDC::FromHandle(chosen)->GetDeviceCaps(HORZRES), 1000);
  DeleteDC(chosen);

  // Cancel keeps what was chosen before.
  EXPECT_EQ(setup.DoModal(), IDCANCEL);
  EXPECT_EQ(setup.GetDeviceName(), CString("PDF"));

  const auto calls = dialogs.calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_TRUE(calls[0].flags & PD_RETURNDEFAULT);
  EXPECT_TRUE(calls[1].flags & PD_PRINTSETUP);
  EXPECT_FALSE(calls[1].flags & PD_RETURNDEFAULT);
  EXPECT_EQ(calls[1].suggestedFile, path);
  EXPECT_TRUE(calls[0].suggestedFile.empty());
  EXPECT_EQ(calls[2].current.deviceName, "PDF");  // the dialog opens on the last choice
}

TEST(Printing, WithoutAServiceTheDialogsCancel) {
  wf::fw::PrintDialogService* previous = wf::fw::installPrintDialogService(nullptr);
  CPrintDialog print(FALSE);
  EXPECT_FALSE(print.GetDefaults());
  EXPECT_EQ(print.DoModal(), IDCANCEL);
  wf::fw::installPrintDialogService(previous);
}

}  // namespace
