#pragma once
// Loads the library at run time as an application does, and lists the names it exports. The
// library stays loaded for the rest of the process, as applications keep it.

#include <set>
#include <string>

namespace veltra::test {

class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* file);
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  bool IsLoaded() const { return handle_ != nullptr; }
  // The address of an exported function; null when the name is not exported.
  void* Resolve(const char* name) const;
  // Every function name the loaded module exports (dynamic symbol table / PE export directory).
  std::set<std::string> ExportedNames() const;

 private:
  void* handle_ = nullptr;
};

}  // namespace veltra::test
