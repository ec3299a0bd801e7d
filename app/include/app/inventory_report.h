#pragma once
// The printed inventory report laid out as pages of (x, y, text) lines, apart
// from any printer, so the print thread only draws what this gives.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/inventory_file.h"

namespace wf::inventory {

struct ReportMetrics {
  int pageWidth = 0;
  int pageHeight = 0;
  int lineHeight = 0;
  // The drawn width of a text, for centring.
  std::function<int(const std::string&)> textWidth;
};

struct ReportOptions {
  bool newPage = false;
  bool includeNonBidirectional = false;
  std::string header;         // at most 80 characters; empty: none
  std::uint32_t created = 0;  // the data file's creation time, UTC seconds
};

struct ReportLine {
  int x = 0;
  int y = 0;
  std::string text;
  bool operator==(const ReportLine&) const = default;
};

struct ReportPage {
  std::vector<ReportLine> lines;
};

// A resource string by id.
using StringSource = std::function<std::string(unsigned id)>;

// The strings of the resource chain.
StringSource ResourceStrings();

// "%lu.%02lu MB" of a byte count, in 64 bits.
std::string Megabytes(std::uint32_t bytes, const StringSource& strings);

// Lays out records one at a time; each finished page goes to `emit`, which
// answers false when the printer refused the page.
class ReportLayout {
 public:
  using Emit = std::function<bool(const ReportPage&)>;
  ReportLayout(ReportMetrics metrics, ReportOptions options, StringSource strings, Emit emit);

  // False when a page could not be emitted.
  bool Add(const Record& record);
  // The last page with its decoration.
  bool Finish();
  int pageNumber() const { return page_; }

 private:
  void line(const std::string& text);
  void labelled(unsigned label, const std::string& value);
  bool breakPage();
  void decorate();
  void summary(const Record& record);
  void inputsAndOutputs(const Record& record);
  void resources(const Record& record);
  std::string str(unsigned id) const { return strings_(id); }

  ReportMetrics metrics_;
  ReportOptions options_;
  StringSource strings_;
  Emit emit_;
  ReportPage current_;
  int y_ = 0;
  int page_ = 1;
  bool failed_ = false;
};

// The whole report at once.
std::vector<ReportPage> LayoutReport(const std::vector<Record>& records, const ReportMetrics& metrics,
                                     const ReportOptions& options, const StringSource& strings);

}  // namespace wf::inventory
