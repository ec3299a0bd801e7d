#include <gtest/gtest.h>

#include <memory>

#include "framework/collections.h"
#include "framework/object.h"

namespace {

class CIconBase : public CObject {
  DECLARE_DYNAMIC(CIconBase)
 public:
  virtual const char* family() const { return "base"; }
};
IMPLEMENT_DYNAMIC(CIconBase, CObject)

class CMiddleIcon : public CIconBase {
  DECLARE_DYNCREATE(CMiddleIcon)
 public:
  const char* family() const override { return "middle"; }
  int padding[8] = {};
};
IMPLEMENT_DYNCREATE(CMiddleIcon, CIconBase)

class CLeafIcon : public CMiddleIcon {
  DECLARE_DYNCREATE(CLeafIcon)
 public:
  const char* family() const override { return "leaf"; }
};
IMPLEMENT_DYNCREATE(CLeafIcon, CMiddleIcon)

class CSideIcon : public CIconBase {
  DECLARE_DYNCREATE(CSideIcon)
};
IMPLEMENT_DYNCREATE(CSideIcon, CIconBase)

}  // namespace

TEST(RuntimeClass, IsKindOfFollowsTheChainUpwardOnly) {
  CLeafIcon leaf;
  CSideIcon side;
  const CObject& asObject = leaf;
  EXPECT_EQ(asObject.GetRuntimeClass(), RUNTIME_CLASS(CLeafIcon));
  for (const CRuntimeClass* up : {RUNTIME_CLASS(CLeafIcon), RUNTIME_CLASS(CMiddleIcon),
                                  RUNTIME_CLASS(CIconBase), RUNTIME_CLASS(CObject)})
    EXPECT_TRUE(asObject.IsKindOf(up)) << up->m_lpszClassName;
  EXPECT_FALSE(asObject.IsKindOf(RUNTIME_CLASS(CSideIcon)));
  EXPECT_FALSE(side.IsKindOf(RUNTIME_CLASS(CMiddleIcon)));
  EXPECT_FALSE(static_cast<const CObject&>(CMiddleIcon()).IsKindOf(RUNTIME_CLASS(CLeafIcon)));
  EXPECT_FALSE(CObList().IsKindOf(RUNTIME_CLASS(CIconBase)));
  EXPECT_TRUE(CObList().IsKindOf(RUNTIME_CLASS(CObject)));
}

TEST(RuntimeClass, RecordsCarryNameSizeSchemaAndBase) {
  const CRuntimeClass* c = RUNTIME_CLASS(CMiddleIcon);
  EXPECT_STREQ(c->m_lpszClassName, "CMiddleIcon");
  EXPECT_EQ(c->m_nObjectSize, static_cast<int>(sizeof(CMiddleIcon)));
  EXPECT_EQ(c->m_wSchema, 0xFFFFu);
  EXPECT_EQ(c->m_pBaseClass, RUNTIME_CLASS(CIconBase));
  EXPECT_EQ(RUNTIME_CLASS(CObject)->m_pBaseClass, nullptr);
}

TEST(RuntimeClass, FactoryCreatesTheRecordsOwnClass) {
  for (const CRuntimeClass* c :
       {RUNTIME_CLASS(CMiddleIcon), RUNTIME_CLASS(CLeafIcon), RUNTIME_CLASS(CSideIcon)}) {
    std::unique_ptr<CObject> made(c->CreateObject());
    ASSERT_TRUE(made) << c->m_lpszClassName;
    EXPECT_EQ(made->GetRuntimeClass(), c);
  }
  std::unique_ptr<CObject> leaf(RUNTIME_CLASS(CLeafIcon)->CreateObject());
  EXPECT_STREQ(static_cast<CIconBase*>(leaf.get())->family(), "leaf");
  // Only dynamic classes without a factory cannot be created.
  EXPECT_EQ(RUNTIME_CLASS(CIconBase)->CreateObject(), nullptr);
}

TEST(RuntimeClass, ClassesAreFoundByExactName) {
  EXPECT_EQ(CRuntimeClass::FromName("CLeafIcon"), RUNTIME_CLASS(CLeafIcon));
  EXPECT_EQ(CRuntimeClass::FromName("CObList"), RUNTIME_CLASS(CObList));
  EXPECT_EQ(CRuntimeClass::FromName("CObject"), RUNTIME_CLASS(CObject));
  EXPECT_EQ(CRuntimeClass::FromName("cleaficon"), nullptr);
  EXPECT_EQ(CRuntimeClass::FromName(nullptr), nullptr);
}
