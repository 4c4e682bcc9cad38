// Internal to the host runtime builds: the product identity that
// ProductState_Set stores and the ProductState_Get* calls return, shared by
// the stand-in and the recording double.
#ifndef CSSUPPORT_HOSTRT_PRODUCT_STATE_H_
#define CSSUPPORT_HOSTRT_PRODUCT_STATE_H_

#include <set>
#include <string>

namespace hostrt_internal {

// The texts the getters return ("" until the first Set). Not synchronised:
// its owner guards it. A text handed out stays valid for the object's life,
// across later Set and Clear calls.
struct ProductState {
  // Stores the four texts, the build number in decimal. Throws
  // std::bad_alloc, leaving the texts the getters return as they were.
  void Set(const std::string& newName, const std::string& newVersion,
           int newBuildNumber, const std::string& newCompilationOption) {
    const char* const stored[] = {Intern(newName), Intern(newVersion),
                                  Intern(std::to_string(newBuildNumber)),
                                  Intern(newCompilationOption)};
    name = stored[0];
    version = stored[1];
    buildNumber = stored[2];
    compilationOption = stored[3];
  }

  // The getters return "" again; the texts stay where they are.
  void Clear() { name = version = buildNumber = compilationOption = ""; }

  // Every text ever stored, so that a pointer a getter returned outlives a
  // later Set.
  std::set<std::string> texts;
  const char* name = "";
  const char* version = "";
  const char* buildNumber = "";
  const char* compilationOption = "";

 private:
  const char* Intern(const std::string& text) {
    return texts.insert(text).first->c_str();
  }
};

}  // namespace hostrt_internal

#endif  // CSSUPPORT_HOSTRT_PRODUCT_STATE_H_
