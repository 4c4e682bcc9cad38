// Links the shared library (not its objects) and catches, by type, what a
// module loaded with dlopen raises, and the other way round.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "cssupport/errors/exceptions.h"

namespace {

using KoraConfigStore::ConfigStoreException;
using KoraConfigStore::ValidationException;

void* Symbol(const char* name) {
  static void* module =
      dlopen(CSSUPPORT_BOUNDARY_MODULE, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(module, nullptr) << dlerror();
  void* symbol = module != nullptr ? dlsym(module, name) : nullptr;
  EXPECT_NE(symbol, nullptr) << name;
  return symbol;
}

TEST(ExceptionBoundary, RaisedThereIsCaughtHereByType) {
  auto* raise = reinterpret_cast<void (*)(bool)>(Symbol("BoundaryRaise"));
  ASSERT_NE(raise, nullptr);
  try {
    raise(false);
    FAIL() << "no exception";
  } catch (const ConfigStoreException& e) {
    EXPECT_EQ(e.GetErrorCode(), 1082);
    EXPECT_EQ(std::string(e.what()).rfind("JSON error:", 0), 0u) << e.what();
  }
  EXPECT_THROW(raise(false), HostCtl::Lib::HostCtlException);
  try {
    raise(true);
    FAIL() << "no exception";
  } catch (const ValidationException& e) {
    EXPECT_EQ(e.toString(), "Error Code: 1083\nMessage: m\nDetails: \na: b\n");
  }
}

TEST(ExceptionBoundary, RaisedHereIsCaughtThereByType) {
  auto* catchCode =
      reinterpret_cast<int (*)(void (*)())>(Symbol("BoundaryCatchCode"));
  ASSERT_NE(catchCode, nullptr);
  EXPECT_EQ(catchCode([] {
              std::vector<KoraConfigStore::ErrorInfo> errors;
              throw ValidationException(1090, "here", errors);
            }),
            1090);
  EXPECT_EQ(catchCode([] { throw std::logic_error("not ours"); }), -1);
}

}  // namespace
