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

template <typename Fn>
Fn* Symbol(const char* name) {
  static void* module =
      dlopen(CSSUPPORT_BOUNDARY_MODULE, RTLD_NOW | RTLD_LOCAL);
  EXPECT_NE(module, nullptr) << dlerror();
  return module != nullptr ? reinterpret_cast<Fn*>(dlsym(module, name))
                           : nullptr;
}

TEST(ExceptionBoundary, CaughtByTypeOnBothSides) {
  auto* raise = Symbol<void(bool)>("BoundaryRaise");
  auto* catchCode = Symbol<int(void (*)())>("BoundaryCatchCode");
  ASSERT_TRUE(raise != nullptr && catchCode != nullptr);
  try {
    raise(false);
    FAIL() << "no exception";
  } catch (const HostCtl::Lib::HostCtlException& e) {
    ASSERT_NE(dynamic_cast<const ConfigStoreException*>(&e), nullptr);
    EXPECT_EQ(std::string(e.what()).rfind("JSON error:", 0), 0u) << e.what();
  }
  try {
    raise(true);
    FAIL() << "no exception";
  } catch (const ValidationException& e) {
    EXPECT_EQ(e.toString(), "Error Code: 1083\nMessage: m\nDetails: \na: b\n");
  }
  EXPECT_EQ(catchCode([] {
              std::vector<KoraConfigStore::ErrorInfo> errors;
              throw ValidationException(1090, "here", errors);
            }),
            1090);
  EXPECT_EQ(catchCode([] { throw std::logic_error("not ours"); }), -1);
}

}  // namespace
