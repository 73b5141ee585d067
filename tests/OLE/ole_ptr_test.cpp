// The interface holder keeps exactly one reference and refuses calls when empty.
#include "OLE/ole_ptr.h"
#include "platform/oleaut/iunknown.h"

#include <gtest/gtest.h>

namespace {

struct counted : plat::com_object<IUnknown> {
  static inline int alive = 0;
  counted() { ++alive; }
  ~counted() override { --alive; }
  ULONG count()
  {
    AddRef();
    return Release();
  }
};

} // namespace

TEST(OleComPtr, HolderAddsOneReferenceAndReleasesItOnDestruction)
{
  auto* object = new counted;  // the creator's reference
  {
    ole_com_ptr<counted> held(object);
    EXPECT_EQ(object->count(), 2u);
    ole_com_ptr<counted> copy = held;
    EXPECT_EQ(object->count(), 3u);
  }
  EXPECT_EQ(object->count(), 1u);
  object->Release();
  EXPECT_EQ(counted::alive, 0);
}

TEST(OleComPtr, OutParameterFillingTakesTheReferenceWithoutAddRef)
{
  {
    ole_com_ptr<IUnknown> held;
    auto* object = new counted;
    ASSERT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(held.put())), S_OK);
    object->Release();  // drop the creator's reference: the holder's is the last
    EXPECT_EQ(counted::alive, 1);
  }
  EXPECT_EQ(counted::alive, 0);
}

TEST(OleComPtr, CallThroughEmptyHolderIsInternalError)
{
  ole_com_ptr<IUnknown> empty;
  try {
    empty->AddRef();
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.get_level(), 2u);
    EXPECT_EQ(std::string(e.what()), make_err_meggase("ole_ptr", 94));
  }
}
