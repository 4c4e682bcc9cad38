// A separately built module that links the shared library and is loaded with
// dlopen by exception_boundary_test: it raises and catches the library's
// exceptions on its side of the boundary.
#include <typeinfo>
#include <vector>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"

#define BOUNDARY_API extern "C" __attribute__((visibility("default")))

// A failed RapidJSON precondition in this module's own code.
BOUNDARY_API void BoundaryFailJsonAssertion() {
  rapidjson::Value array(rapidjson::kArrayType);
  array.FindMember("jots");
}

BOUNDARY_API void BoundaryThrowValidation() {
  std::vector<KoraConfigStore::ErrorInfo> errors = {{"a", "b"}};
  throw KoraConfigStore::ValidationException(1083, "m", errors);
}

// Runs `fn` and returns the code of the ConfigStoreException it raised, 0
// when it raised none, -1 for anything else.
BOUNDARY_API int BoundaryCatchCode(void (*fn)()) {
  try {
    fn();
  } catch (const KoraConfigStore::ConfigStoreException& e) {
    return e.GetErrorCode();
  } catch (...) {
    return -1;
  }
  return 0;
}

// The module's view of the family's type information: 0 HostCtlException,
// 1 ConfigStoreException, 2 ValidationException.
BOUNDARY_API const std::type_info* BoundaryTypeInfo(int which) {
  switch (which) {
    case 0:
      return &typeid(HostCtl::Lib::HostCtlException);
    case 1:
      return &typeid(KoraConfigStore::ConfigStoreException);
    default:
      return &typeid(KoraConfigStore::ValidationException);
  }
}
