// Resource management forwarded to the WFPRM library loaded by name.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/module.h"
#include "test_support.h"

namespace prtobjtest {
namespace {

TEST(PrtObjResMgmt, CommandsAndAlertsGoThroughWfprm) {
  wf::setModuleSearchPath({wf::moduleDirectory()});
  std::unique_ptr<TestObj> obj(freshObject());
  fakebce::pushReply(0, hex("00 00"));
  EXPECT_EQ(obj->bidiDeviceCopyFile("font.ttf", WFPrtObj::DEVICE_FLASH, WFPrtObj::DEVICE_DISK, 1), 0);
  const auto sent = fakebce::callsOf("BceSendBidi");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].code, 113u);
  EXPECT_EQ(sent[0].request, hex("04 02 01 01") + "font.ttf");
  EXPECT_EQ(dlopen("libcorbce.so", RTLD_LAZY | RTLD_NOLOAD), nullptr)
      << "WFPRM must reach the scripted broker through the object it was given";
  fakebce::pushReply(0, hex("00 01"));  // refused by the printer
  EXPECT_EQ(obj->bidiDeviceFormat(WFPrtObj::DEVICE_DISK), -2);

  const std::string entry = "2;font.ttf;7;FONT;12345;Serif; bold";
  fakebce::setAlert(9, hex("03 02 10 01 00000000") + std::string(1, '\0') + static_cast<char>(entry.size()) + entry);
  WFPrtObj::DEVICEMGMTALERTDATA alert;
  ASSERT_EQ(obj->bidiDeviceQueryAlert(9, &alert), 0);
  EXPECT_EQ(alert.kind, 16);
  EXPECT_EQ(alert.moreEntries, 1);
  EXPECT_EQ(alert.result, 0u);
  EXPECT_NE(alert.entryFlag & 0xFFFF, 0u);
  WFPrtObj::DEVICEDIRECTORYDATA dir;
  ASSERT_EQ(obj->parseDeviceDirectoryData(alert.entry, &dir), 0);
  EXPECT_EQ(dir.device, 2u);
  EXPECT_EQ(dir.name, "font.ttf");
  EXPECT_EQ(dir.size, "12345");
  EXPECT_EQ(dir.description, "Serif; bold");
  EXPECT_EQ(obj->parseDeviceDirectoryData("3;a;b;c;d;e", &dir), -2);
  EXPECT_EQ(obj->parseDeviceDirectoryData("1;a;b", &dir), -2);

  fakebce::setAlert(10, hex("03 02 10 00 00000000 00 20 41"));  // entry longer than the data
  EXPECT_EQ(obj->bidiDeviceQueryAlert(10, &alert), -2);
  fakebce::setAlert(11, hex("03 01 10 00 00000000 00 00"));  // a job-statistics alert
  EXPECT_EQ(obj->bidiDeviceQueryAlert(11, &alert), -2);
}

}  // namespace
}  // namespace prtobjtest
