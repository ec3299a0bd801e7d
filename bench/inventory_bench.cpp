// The printer inventory, offscreen: the data file of 1,000 and 10,000
// printers from test icons that write a fixed record, beside writing the
// same bytes raw; and the report of 10,000 records into a PDF through the
// print worker, beside drawing the same laid-out lines with plain QPainter.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/inventory_dlg.h"
#include "app/inventory_file.h"
#include "app/inventory_report.h"
#include "app/list_view.h"
#include "app/wf_app.h"
#include "common/oid_list.h"
#include "common/printer_dll.h"
#include "common/printer_icon.h"
#include "common/printer_list.h"
#include "framework/printing.h"
#include "framework/resources.h"
#include "platform/module.h"
#include "platform/runtime_dir.h"

namespace {

constexpr DWORD kBenchFamily = 0xBE7C;
namespace fs = std::filesystem;

// A record as a bidirectional printer with two trays and a bin writes it.
std::vector<char> fixedRecord(const std::string& name) {
  std::vector<unsigned char> out(wf::inventory::kFixedPart, 0);
  out[2] = 1;
  out[3] = 128;
  out[7] = 24;
  out[8] = 3;
  out[13] = 0, out[14] = 0, out[15] = 0x40;  // 4 MB of memory
  out[25] = 255;
  auto text = [&](const std::string& t) {
    out.push_back(static_cast<unsigned char>(t.size()));
    out.insert(out.end(), t.begin(), t.end());
  };
  text(name);
  out.push_back(1);
  text("LPT1:");
  for (const char* t : {"Vireo 24", "GN0000042", "2.05.1", "1.20", "1.00", "N/A", "", "", "", "", "", ""})
    text(t);
  out.insert(out.end(), 5, 0);
  out.push_back(2);
  for (unsigned char tray : {2, 3}) out.insert(out.end(), {tray, 0, 1, 1, 250, 0, 0, 0});
  out.push_back(1);
  out.insert(out.end(), {0, 0, 250, 0, 0, 0});
  out[0] = static_cast<unsigned char>(out.size());
  out[1] = static_cast<unsigned char>(out.size() >> 8);
  return {out.begin(), out.end()};
}

class BenchIcon : public CWFPrinterIcon {
 public:
  BenchIcon(void* record, USHORT handle) : CWFPrinterIcon(nullptr, record) { m_hPrinter = handle; }
  static USHORT nextHandle;
  static CWFPrinterIcon* create(WFPrtObj*, void* record) { return new BenchIcon(record, nextHandle); }
  short GetInventoryData(_WF_PRINTER_INFO* info, char* buffer) override {
    const std::vector<char> record = fixedRecord(info->strName.str());
    std::memcpy(buffer, record.data(), record.size());
    return static_cast<short>(record.size());
  }
};
USHORT BenchIcon::nextHandle = 0;

CWFApp* app = nullptr;
fs::path dataDir;

void fillPrinters(int count) {
  CWFPrinterList* list = app->GetPrinterList();
  if (list->GetCount() == count) return;
  list->DeleteAllPrinters();
  for (int i = 0; i < count; ++i) {
    ENUMBINARYDATA record{};
    std::snprintf(record.name, sizeof record.name, "Printer %05d", count - i);
    record.familyKey = kBenchFamily;
    NETADDRESS address{};
    std::snprintf(address.local, sizeof address.local, "P%05d", i);
    BenchIcon::nextHandle = static_cast<USHORT>(i + 1);
    list->CreateGhostPrinter(&address, &record, 0);
  }
}

std::vector<_WF_PRINTER_INFO*> entries() {
  std::vector<_WF_PRINTER_INFO*> out;
  CWFoidList* list = app->GetPrinterList()->GetPrinterListEnumerated();
  if (!list) return out;
  for (POSITION p = list->GetHeadPosition(); p;)
    out.push_back(static_cast<_WF_PRINTER_INFO*>(static_cast<CWFoid*>(list->GetNext(p))->GetPointer()));
  delete list;
  return out;
}

void BM_DataFileFromIcons(benchmark::State& state) {
  fillPrinters(static_cast<int>(state.range(0)));
  const std::string path = (dataDir / "INVENTOR.DAT").string();
  for (auto _ : state) {
    wf::inventory::Run run;
    run.dataFile = path;
    run.entries = entries();
    if (wf::inventory::CreateDataFile(run) != 0) state.SkipWithError("the data file was not written");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_SameBytesWrittenRaw(benchmark::State& state) {
  const std::string path = (dataDir / "RAW.DAT").string();
  std::vector<std::vector<char>> records;
  for (int i = 0; i < state.range(0); ++i) records.push_back(fixedRecord("Printer " + std::to_string(i)));
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    char header[wf::inventory::kHeaderSize] = {0, 0, 'W', 'F', 'I', 1};
    bool ok = ::write(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
    for (const auto& record : records)
      ok = ok && ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    ::close(fd);
    if (!ok) state.SkipWithError("raw write failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The 10,000-record data file the report benchmarks print.
std::string reportData() {
  const std::string path = (dataDir / "REPORT.DAT").string();
  if (fs::exists(path)) return path;
  fillPrinters(10000);
  wf::inventory::Run run;
  run.dataFile = path;
  run.entries = entries();
  wf::inventory::CreateDataFile(run);
  return path;
}

void BM_ReportIntoPdf(benchmark::State& state) {
  const std::string data = reportData();
  const std::string pdf = (dataDir / "REPORT.pdf").string();
  for (auto _ : state) {
    wf::inventory::Run run;
    run.dataFile = data;
    run.printer = CreatePrinterDC({"PDF", "", pdf, 1, pdf});
    if (wf::inventory::PrintDataFile(run) != 0) state.SkipWithError("the report was not printed");
  }
}

void BM_SameLinesWithPlainPainter(benchmark::State& state) {
  const std::string data = reportData();
  const std::string pdf = (dataDir / "PLAIN.pdf").string();
  wf::inventory::Reader reader;
  std::vector<wf::inventory::Record> records;
  if (reader.Open(data) != wf::inventory::Failure::none) return state.SkipWithError("no data file");
  wf::inventory::Record record;
  for (int i = 0; i < reader.header().count && reader.Next(record) == wf::inventory::Failure::none; ++i)
    records.push_back(record);
  for (auto _ : state) {
    QPdfWriter writer(QString::fromStdString(pdf));
    writer.setResolution(1200);
    QPainter painter(&writer);
    QFont font("Monospace");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(10 * 1200 / 72);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    wf::inventory::ReportMetrics layout{
        writer.width(), writer.height(), metrics.height(),
        [&](const std::string& t) { return metrics.horizontalAdvance(QString::fromStdString(t)); }};
    bool first = true;
    wf::inventory::ReportLayout pages(
        layout, {}, wf::inventory::ResourceStrings(), [&](const wf::inventory::ReportPage& page) {
          if (!first) writer.newPage();
          first = false;
          for (const auto& line : page.lines)
            painter.drawText(line.x, line.y + metrics.ascent(), QString::fromStdString(line.text));
          return true;
        });
    for (const auto& r : records) pages.Add(r);
    pages.Finish();
    painter.end();
  }
}

}  // namespace

BENCHMARK(BM_DataFileFromIcons)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SameBytesWrittenRaw)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportIntoPdf)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SameLinesWithPlainPainter)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char root[] = "/tmp/wfbench-inv-XXXXXX";
  if (!::mkdtemp(root)) return 1;
  ::setenv("WRENFIELD_ROOT", root, 1);
  ::setenv("WRENFIELD_RUNTIME_DIR", root, 1);
  dataDir = root;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication qt(argc, argv);
  HINSTANCE resources = wf::loadModule("WFRESDLL.DLL");
  wf::fw::joinResourceChain(resources);
  {
    CWFApp theApp;
    app = &theApp;
    static const DWORD ids[] = {kBenchFamily};
    theApp.GetPrinterDLLManager()->RegisterDLL(nullptr, "Bench", 0, &BenchIcon::create, ids, 1, nullptr);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theApp.GetPrinterList()->DeleteAllPrinters();
  }
  wf::fw::leaveResourceChain(resources);
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
