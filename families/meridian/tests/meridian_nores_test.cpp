// The Meridian module when its resource library is not found: it loads and
// registers, with no pictures and empty texts.
#include <gtest/gtest.h>

#include "meridian_fixture.h"

namespace wf::testing {
namespace {

using NoResourcesTest = MeridianFixture;

TEST_F(NoResourcesTest, TheFamilyRegistersWithoutPicturesOrTexts) {
  CWFMeridianIcon probe;
  EXPECT_EQ(probe.GetResourceInstance(0), nullptr);
  CWFPrinterDLL* vireo = families_.FindPrinterDLL(1);
  ASSERT_NE(vireo, nullptr);
  EXPECT_EQ(vireo, probe.GetPrinterDLL());
  EXPECT_EQ(vireo->GetImageListOffset(), 0);
  EXPECT_TRUE(probe.GetGhostName().IsEmpty());

  CWFMeridianIcon* icon = addMeridian(70, "LPT1");
  ASSERT_NE(icon, nullptr);
  icon->DetermineModel();
  EXPECT_EQ(icon->GetModel(), " ") << "base and variant are empty";
  EXPECT_EQ(AfxGetResourceHandle(), resources_);

  printer(70)->alertLists["bidiQueryOperatorIV"] = {{6137, 0}};
  CWFAlert alert(70, printer(70), 0, 1524, CWFAlert::NOT_PROCESSED, 0x10, 0, FALSE, FALSE, FALSE, FALSE);
  EXPECT_EQ(icon->ProcessAlert(&alert), 9u);
  CWFAlertMsg* stored = icon->GetAlertStorage().GetTopAlertMsg();
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->GetAlert()->GetSpecificAlert(), 6137u);
  EXPECT_TRUE(stored->GetText().IsEmpty());
}

}  // namespace
}  // namespace wf::testing
