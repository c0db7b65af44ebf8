#include "platform/posix/posix_library_loader.h"

#include <dlfcn.h>

namespace aviolog::platform::posix {

namespace {
class PosixLibrary final : public DynamicLibrary {
  public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}
    ~PosixLibrary() override { dlclose(handle_); }
    PosixLibrary(const PosixLibrary&) = delete;
    PosixLibrary& operator=(const PosixLibrary&) = delete;
    void* symbol(const std::string& name) override { return dlsym(handle_, name.c_str()); }

  private:
    void* handle_;
};
}  // namespace

std::unique_ptr<DynamicLibrary> PosixLibraryLoader::load(const std::string& path) {
    // A name without a slash would be searched on the library path, not where we mean.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    return std::make_unique<PosixLibrary>(handle);
}

}  // namespace aviolog::platform::posix
