#include "LibraryLoader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#endif

namespace veltra::test {

#ifdef _WIN32

LoadedLibrary::LoadedLibrary(const char* file) : handle_(LoadLibraryA(file)) {}

void* LoadedLibrary::Resolve(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

// The export directory of the mapped module: names are RVAs from the image base.
std::set<std::string> LoadedLibrary::ExportedNames() const {
  std::set<std::string> names;
  const auto* base = static_cast<const uint8_t*>(handle_);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.Size == 0) return names;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
  }
  return names;
}

#else

LoadedLibrary::LoadedLibrary(const char* file) : handle_(dlopen(file, RTLD_NOW | RTLD_LOCAL)) {}

void* LoadedLibrary::Resolve(const char* name) const { return dlsym(handle_, name); }

// The defined global function symbols of the module's dynamic symbol table.
std::set<std::string> LoadedLibrary::ExportedNames() const {
  std::set<std::string> names;
  link_map* map = nullptr;
  if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map) return names;
  const ElfW(Sym)* symbols = nullptr;
  const char* strings = nullptr;
  const ElfW(Word)* hash = nullptr;
  const uint32_t* gnuHash = nullptr;
  for (const ElfW(Dyn)* d = map->l_ld; d->d_tag != DT_NULL; ++d) {
    const auto address = reinterpret_cast<const void*>(d->d_un.d_ptr);
    if (d->d_tag == DT_SYMTAB) symbols = static_cast<const ElfW(Sym)*>(address);
    if (d->d_tag == DT_STRTAB) strings = static_cast<const char*>(address);
    if (d->d_tag == DT_HASH) hash = static_cast<const ElfW(Word)*>(address);
    if (d->d_tag == DT_GNU_HASH) gnuHash = static_cast<const uint32_t*>(address);
  }
  if (!symbols || !strings) return names;
  // The symbol count: from the SysV hash table, or past the last chain of the GNU hash table.
  size_t count = 0;
  if (hash) {
    count = hash[1];
  } else if (gnuHash) {
    const uint32_t buckets = gnuHash[0];
    const uint32_t offset = gnuHash[1];
    const uint32_t bloomWords = gnuHash[2];
    const auto* bucket = reinterpret_cast<const uint32_t*>(
        reinterpret_cast<const uint8_t*>(gnuHash + 4) + bloomWords * sizeof(ElfW(Addr)));
    const uint32_t* chain = bucket + buckets;
    uint32_t last = 0;
    for (uint32_t b = 0; b < buckets; ++b) last = std::max(last, bucket[b]);
    if (last >= offset) {
      while ((chain[last - offset] & 1) == 0) ++last;
      count = last + 1;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const ElfW(Sym)& s = symbols[i];
    if (s.st_shndx == SHN_UNDEF || ELF64_ST_BIND(s.st_info) == STB_LOCAL) continue;
    if (ELF64_ST_TYPE(s.st_info) != STT_FUNC && ELF64_ST_TYPE(s.st_info) != STT_OBJECT) continue;
    names.insert(strings + s.st_name);
  }
  return names;
}

#endif

}  // namespace veltra::test
