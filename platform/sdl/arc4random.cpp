// arc4random for the release build. The C++ library linked into it
// (std::random_device, with which libopenmpt seeds its random numbers)
// calls arc4random, which glibc has only since 2.36; the intro asks for
// glibc 2.34 at most, so this object, on the link line before libc, stands
// in: random bytes from the kernel (getrandom, glibc 2.25; /dev/urandom
// where that call is missing), as glibc's own would give. Hidden: the
// libraries the intro loads (OpenGL drivers, sound) keep glibc's. Any
// thread.
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

// Fills size bytes at out from /dev/urandom; false when it cannot be read.
static bool randomFromDevice(unsigned char* out, size_t size)
{
    int file = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(file, out + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    close(file);
    return got == size;
}

// Fills size bytes at out with the kernel's random bytes; false when the
// kernel gives none.
static bool randomFromKernel(unsigned char* out, size_t size)
{
    size_t got = 0;
    while (got < size) {
        ssize_t n = getrandom(out + got, size - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return randomFromDevice(out + got, size - got);
        got += static_cast<size_t>(n);
    }
    return true;
}

extern "C" __attribute__((visibility("hidden"))) uint32_t arc4random(void)
{
    unsigned char bytes[4];
    if (!randomFromKernel(bytes, sizeof bytes)) {
        // No source at all (a sandbox that forbids both): the clock, which
        // still differs from one call to the next.
        auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(now ^ (now >> 32));
    }
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
