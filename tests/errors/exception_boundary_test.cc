// Links the shared library (not its objects) and catches, by type, the
// exceptions raised in a module loaded with dlopen, and the other way round.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "cssupport/errors/exceptions.h"

namespace {

using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ValidationException;

class ExceptionBoundaryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = dlopen(CSSUPPORT_BOUNDARY_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
  }

  template <typename Fn>
  static Fn* Symbol(const char* name) {
    void* symbol = dlsym(module_, name);
    EXPECT_NE(symbol, nullptr) << name;
    return reinterpret_cast<Fn*>(symbol);
  }

  static void* module_;
};

void* ExceptionBoundaryTest::module_ = nullptr;

TEST_F(ExceptionBoundaryTest, JsonAssertionRaisedThereIsCaughtHereByType) {
  auto* fail = Symbol<void()>("BoundaryFailJsonAssertion");
  ASSERT_NE(fail, nullptr);
  try {
    fail();
    FAIL() << "no exception";
  } catch (const ConfigStoreException& e) {
    EXPECT_EQ(typeid(e), typeid(ConfigStoreException));
    EXPECT_EQ(e.GetErrorCode(), 1082);
    EXPECT_EQ(std::string(e.what()).rfind("JSON error:", 0), 0u);
  }
  EXPECT_THROW(fail(), HostCtl::Lib::HostCtlException);
}

TEST_F(ExceptionBoundaryTest, ValidationRaisedThereKeepsItsTypeAndList) {
  auto* raise = Symbol<void()>("BoundaryThrowValidation");
  ASSERT_NE(raise, nullptr);
  try {
    raise();
    FAIL() << "no exception";
  } catch (const ValidationException& e) {
    ASSERT_EQ(e.GetErrors().size(), 1u);
    EXPECT_EQ(e.GetErrors()[0].subject, "a");
    EXPECT_EQ(e.toString(), "Error Code: 1083\nMessage: m\nDetails: \na: b\n");
  }
  try {
    raise();
  } catch (const HostCtl::Lib::HostCtlException& e) {
    EXPECT_NE(dynamic_cast<const ValidationException*>(&e), nullptr);
  }
}

void RaiseValidationHere() {
  std::vector<KoraConfigStore::ErrorInfo> errors;
  throw ValidationException(1090, "here", errors);
}

void RaiseLogicErrorHere() { throw std::logic_error("not ours"); }

TEST_F(ExceptionBoundaryTest, RaisedHereIsCaughtThereByType) {
  auto* catchCode = Symbol<int(void (*)())>("BoundaryCatchCode");
  ASSERT_NE(catchCode, nullptr);
  EXPECT_EQ(catchCode(RaiseValidationHere), 1090);
  EXPECT_EQ(catchCode(RaiseLogicErrorHere), -1);
}

TEST_F(ExceptionBoundaryTest, BothSidesShareOneTypeInformation) {
  auto* typeInfo = Symbol<const std::type_info*(int)>("BoundaryTypeInfo");
  ASSERT_NE(typeInfo, nullptr);
  const std::type_info* here[] = {&typeid(HostCtl::Lib::HostCtlException),
                                  &typeid(ConfigStoreException),
                                  &typeid(ValidationException)};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(here[i]->name());
    EXPECT_EQ(typeInfo(i), here[i]);
    EXPECT_TRUE(*typeInfo(i) == *here[i]);
  }
}

}  // namespace
