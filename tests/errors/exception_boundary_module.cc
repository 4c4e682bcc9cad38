// Built apart from the library's objects, linked to the shared library and
// loaded with dlopen by exception_boundary_test: raises and catches the
// library's exceptions on its side of the boundary.
#include <vector>

#include "cssupport/errors/exceptions.h"
#include "cssupport/errors/json.h"

#define BOUNDARY_API extern "C" __attribute__((visibility("default")))

// Throws a ValidationException (`validation`) or fails a RapidJSON assertion.
BOUNDARY_API void BoundaryRaise(bool validation) {
  std::vector<KoraConfigStore::ErrorInfo> errors = {{"a", "b"}};
  if (validation) throw KoraConfigStore::ValidationException(1083, "m", errors);
  rapidjson::Value array(rapidjson::kArrayType);
  array.FindMember("jots");
}

// The code of the ConfigStoreException `fn` raises; 0 for none, -1 otherwise.
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
