#pragma once

#include <memory>
#include <string>

namespace aviolog::platform {

// A loaded shared library; unloaded when destroyed.
class DynamicLibrary {
  public:
    virtual ~DynamicLibrary() = default;
    // The address of an exported symbol, or nullptr.
    virtual void* symbol(const std::string& name) = 0;
};

class LibraryLoader {
  public:
    virtual ~LibraryLoader() = default;
    // Nothing when the file is missing or is not a library.
    virtual std::unique_ptr<DynamicLibrary> load(const std::string& path) = 0;
};

}  // namespace aviolog::platform
