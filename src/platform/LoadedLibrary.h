#pragma once
// Libraries the program loads itself when it first needs them (dlopen), not
// at start: what a library costs to load (its own libraries, its symbols) is
// then paid when it is used, and not before the window shows. Each user keeps
// the handles for the rest of the run, as linked libraries would be kept.
//
// Plain functions; any thread.

#include <dlfcn.h>

namespace zv2::platform {

// Finds `name` in `library` (a dlopen handle) and stores it in `function`,
// whose type is the function's own; false when it is missing.
template <class F> bool BindFunction(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(::dlsym(library, name));
    return function != nullptr;
}

} // namespace zv2::platform
