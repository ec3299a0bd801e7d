// The Meridian resource page end to end: the helper process runs the
// Meridian family module over the real broker and WFPRM; a simulated
// Meridian printer on LPT1 keeps the files.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "child/prtgui_child.h"
#include "printer_fixture.h"
#include "sim/printer/port_server.h"

using wf::testing::ResourcePageView;
namespace sim = wf::sim;

namespace {

constexpr int kResourcesView = 32797;

class ResourcesEndToEnd : public wf::testing::PrinterHelperTest {
 protected:
  // The shipped Meridian printer on LPT1, changed by `change`; its notebook
  // opened on the resource page. The icon's handle.
  std::uint16_t open(const std::function<void(sim::Profile&)>& change = {}) {
    startOn(1, "meridian-vireo10", Family::Meridian, change);
    if (handle == 0) return 0;
    EXPECT_TRUE(app->open(handle, kResourcesView).open);
    return handle;
  }
  // The files the printer holds on `device` (1 disk, 2 flash).
  std::vector<std::string> files(std::uint8_t device) {
    std::vector<std::string> out;
    const auto devices = model->state().devices;
    if (auto it = devices.find(device); it != devices.end())
      for (const auto& f : it->second.files) out.push_back(f.name);
    return out;
  }
  // Position of the first packet the printer received with command `cmd` and data `data`.
  long received(char cmd, const std::string& data) {
    const auto log = model->log();
    for (std::size_t i = 0; i < log.size(); ++i) {
      const std::string& b = log[i].bytes;
      if (log[i].direction == sim::Direction::Received && b.size() > 5 && b[4] == cmd && b.substr(5) == data)
        return static_cast<long>(i);
    }
    return -1;
  }
  static void dropDevice(sim::Profile& p, std::uint8_t device, const char* storagePrefix) {
    p.devices.erase(device);
    std::erase_if(p.storage, [&](const std::string& t) { return t.rfind(storagePrefix, 0) == 0; });
  }
};

using Rows = std::vector<std::string>;
using Statuses = std::vector<std::string>;

const std::string kWorking = "Working... the printer has the request.";

TEST_F(ResourcesEndToEnd, BothDevicesAreListedThenCopiedMovedDeletedAndFormatted) {
  const std::uint16_t handle = open();
  ASSERT_NE(handle, 0);
  ResourcePageView page = app->resources(handle);
  EXPECT_EQ(page.rows, (Rows{"Invoice form;Disk;312000;10", "Sans serif family;Disk;100000;11",
                             "Company logo;Flash;1024;1", "Serif 12 point;Flash;1024;2"}));
  EXPECT_EQ(page.files, "4");
  EXPECT_EQ(page.flashFree, "2,048");
  EXPECT_EQ(page.diskFree, "100,000");
  EXPECT_TRUE(page.refresh);
  EXPECT_NE(model->enabledAlerts() & 0x1000, 0u) << "the resource class was captured";
  const long flash = received('\xE1', std::string("\x00\x01\x02", 3));
  const long disk = received('\xE1', std::string("\x00\x01\x01", 3));
  ASSERT_GE(flash, 0);
  EXPECT_GT(disk, flash) << "flash first, then disk";

  EXPECT_EQ(
      app->resourceOperation(handle, "copy", "Company logo"),
      (Statuses{"Choose where to copy the file, then press OK.", kWorking, "Company logo was copied."}));
  page = app->resources(handle);
  EXPECT_EQ(page.rows.size(), 5u);
  EXPECT_EQ(page.diskFree, "98,976");
  EXPECT_EQ(files(1), (Rows{"invoice.frm", "sans.fnt", "logo.mac"}));

  // Too big for the flash: no request at all.
  EXPECT_EQ(app->resourceOperation(handle, "move", "Sans serif family"),
            (Statuses{"Choose where to move the file, then press OK.",
                      "There is not enough room on the destination. Press OK to close."}));
  EXPECT_EQ(received('\xE1', std::string("\x00\x04\x01\x02\x01", 5) + "sans.fnt"), -1);
  EXPECT_EQ(files(2), (Rows{"logo.mac", "serif.fnt"}));
  app->resources(handle);  // the listing that OK started

  EXPECT_EQ(app->resourceOperation(handle, "delete", "Invoice form"),
            (Statuses{"Press OK to delete the file.", kWorking, "Invoice form was deleted."}));
  page = app->resources(handle);
  EXPECT_EQ(std::count_if(page.rows.begin(), page.rows.end(),
                          [](const std::string& r) { return r.rfind("Invoice form;", 0) == 0; }),
            0);

  EXPECT_EQ(app->resourceOperation(handle, "format", "-", 1020),
            (Statuses{"Choose the device to format, then press OK.", kWorking, "Flash was formatted."}));
  page = app->resources(handle);
  EXPECT_EQ(page.rows, (Rows{"Company logo;Disk;1024;1", "Sans serif family;Disk;100000;11"}));
  EXPECT_EQ(page.flashFree, "4,096");

  // The printer fails the next operation.
  auto knobs = model->knobs();
  knobs.resourceResult = 1;
  model->setKnobs(knobs);
  EXPECT_EQ(app->resourceOperation(handle, "delete", "Company logo"),
            (Statuses{"Press OK to delete the file.", kWorking, "Company logo could not be deleted."}));
  EXPECT_EQ(files(1), (Rows{"sans.fnt", "logo.mac"}));
}

TEST_F(ResourcesEndToEnd, PasswordFilesStayHiddenAndAPrinterByteNameIsDeleted) {
  const std::uint16_t handle = open([](sim::Profile& p) {
    auto& flash = p.devices.at(2).files;
    flash.clear();
    flash.push_back({"readpassword.password", "7", "DATA", 8, "Read password"});
    flash.push_back({"writepassword.password", "8", "DATA", 8, "Write password"});
    flash.push_back(
        {"b\x81"
         "cher.fnt",
         "9", "FONT", 100, "Buecher"});
  });
  ASSERT_NE(handle, 0);
  const ResourcePageView page = app->resources(handle);
  EXPECT_EQ(page.rows,
            (Rows{"Invoice form;Disk;312000;10", "Sans serif family;Disk;100000;11", "Buecher;Flash;100;9"}));
  EXPECT_EQ(app->resourceOperation(handle, "delete", "Buecher"),
            (Statuses{"Press OK to delete the file.", kWorking, "Buecher was deleted."}));
  EXPECT_EQ(files(2), (Rows{"readpassword.password", "writepassword.password"}));
}

TEST_F(ResourcesEndToEnd, ADiskAloneIsListedAndNoDeviceListsNothing) {
  std::uint16_t handle = open([](sim::Profile& p) { dropDevice(p, 2, "FLASH:"); });
  ASSERT_NE(handle, 0);
  ResourcePageView page = app->resources(handle);
  EXPECT_EQ(page.rows, (Rows{"Invoice form;Disk;312000;10", "Sans serif family;Disk;100000;11"}));
  EXPECT_EQ(page.flashFree, "0");
  EXPECT_EQ(received('\xE1', std::string("\x00\x01\x02", 3)), -1) << "no flash listing";
  app->quit();
  app->process().waitExit();
  app.reset();
  server.reset();

  handle = open([](sim::Profile& p) {
    dropDevice(p, 2, "FLASH:");
    dropDevice(p, 1, "DISK:");
  });
  ASSERT_NE(handle, 0);
  page = app->resources(handle);
  EXPECT_TRUE(page.rows.empty());
  EXPECT_EQ(page.files, "0");
  EXPECT_EQ(page.flashFree, "0");
  EXPECT_EQ(page.diskFree, "0");
  EXPECT_FALSE(page.refresh);
  EXPECT_EQ(received('\xE1', std::string("\x00\x01\x01", 3)), -1);
}

}  // namespace
