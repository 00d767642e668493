// Linked into every program of the sanitizer build only. Mesa unloads its driver when the X display
// closes, before LeakSanitizer scans the heap at exit; what the driver still holds then shows as leaks
// of an unknown module, which no suppression can name. Opening the driver once more, never to be
// unloaded, keeps it mapped to the end, so that its blocks stay reachable from its own data and the
// suppressions can name the driver where it really leaks.
#include <dlfcn.h>

namespace {

__attribute__((constructor)) void KeepMesaDriver() {
    dlopen(KELVRA_MESA_DRIVER, RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
}

}  // namespace
