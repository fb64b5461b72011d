// Loaded into the engine with LD_PRELOAD by the kill tests: it kills the engine's
// process group (or, with MORVANE_KILL_WHOM=self, only the calling process) right after
// a chosen file was created or renamed into place, or in the middle of a chosen frame of
// the progress link, so that a kill lands at one exact moment. MORVANE_KILL_AFTER_CREATE
// names a part of the created path, MORVANE_KILL_AFTER_RENAME the whole new name of a
// rename, MORVANE_KILL_IN_FRAME a text: a send holding it sends only its first bytes.

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

void kill_now() {
    const char* whom = std::getenv("MORVANE_KILL_WHOM");
    if (whom != nullptr && std::strcmp(whom, "self") == 0) (void)::kill(::getpid(), SIGKILL);
    (void)::kill(0, SIGKILL);
}

bool watched_creation(const char* path, int flags) {
    const char* part = std::getenv("MORVANE_KILL_AFTER_CREATE");
    return part != nullptr && *part != '\0' && (flags & O_CREAT) != 0 && path != nullptr &&
           std::strstr(path, part) != nullptr;
}

using OpenFn = int (*)(const char*, int, ...);

int open_then_check(OpenFn real, const char* path, int flags, mode_t mode) {
    const int fd = real(path, flags, mode);
    if (fd >= 0 && watched_creation(path, flags)) kill_now();
    return fd;
}

mode_t mode_of(int flags, va_list args) {
    const bool has_mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    return has_mode ? static_cast<mode_t>(va_arg(args, unsigned)) : 0;
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    static const auto real = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_then_check(real, path, flags, mode);
}

extern "C" int open64(const char* path, int flags, ...) {
    static const auto real = reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open64"));
    va_list args;
    va_start(args, flags);
    const mode_t mode = mode_of(flags, args);
    va_end(args);
    return open_then_check(real, path, flags, mode);
}

extern "C" int rename(const char* from, const char* to) {
    using RenameFn = int (*)(const char*, const char*);
    static const auto real = reinterpret_cast<RenameFn>(::dlsym(RTLD_NEXT, "rename"));
    const int status = real(from, to);
    const char* watched = std::getenv("MORVANE_KILL_AFTER_RENAME");
    if (status == 0 && watched != nullptr && to != nullptr && std::strcmp(to, watched) == 0) {
        kill_now();
    }
    return status;
}

extern "C" ssize_t send(int fd, const void* data, size_t size, int flags) {
    using SendFn = ssize_t (*)(int, const void*, size_t, int);
    static const auto real = reinterpret_cast<SendFn>(::dlsym(RTLD_NEXT, "send"));
    const char* text = std::getenv("MORVANE_KILL_IN_FRAME");
    if (text != nullptr && *text != '\0' && ::memmem(data, size, text, std::strlen(text))) {
        // Half a frame header: the window is left waiting for the rest.
        (void)real(fd, data, size < 12 ? size : 12, flags);
        kill_now();
    }
    return real(fd, data, size, flags);
}
