// Counts the frames a program presents, for bench_rest.sh. Preloaded into the program, it stands in
// for SDL_GL_SwapWindow: it adds one to a 64-bit counter at the start of the file named by
// KELVRA_FRAME_COUNT, mapped shared so that counting costs no system call, and presents as SDL does.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

struct SDL_Window;

namespace {

using SwapWindow = void (*)(SDL_Window*);

SwapWindow RealSwapWindow;
volatile std::uint64_t* FrameCounter;

void MapCounter() {
    const char* path = std::getenv("KELVRA_FRAME_COUNT");
    if (path == nullptr) return;
    const int fd = open(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return;
    if (ftruncate(fd, sizeof(std::uint64_t)) == 0) {
        void* mapped = mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped != MAP_FAILED) FrameCounter = static_cast<volatile std::uint64_t*>(mapped);
    }
    close(fd);
}

}  // namespace

extern "C" void SDL_GL_SwapWindow(SDL_Window* window) {
    if (RealSwapWindow == nullptr) {
        RealSwapWindow = reinterpret_cast<SwapWindow>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
        MapCounter();
    }
    if (FrameCounter != nullptr) *FrameCounter = *FrameCounter + 1;
    if (RealSwapWindow != nullptr) RealSwapWindow(window);
}
