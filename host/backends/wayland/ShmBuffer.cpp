#include "host/backends/wayland/ShmBuffer.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstddef>
#include <cstdint>

namespace zorvan::host {

wl_buffer* shmBuffer(wl_shm* shm, int width, int height, const std::function<void(unsigned char*, int)>& paint,
                     bool alpha) {
    if (!shm || width < 1 || height < 1) return nullptr;
    const size_t stride = size_t(width) * 4, size = stride * size_t(height);
    if (size > size_t(INT32_MAX)) return nullptr;
    const int fd = memfd_create("zorvan-shm", MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    wl_buffer* buffer = nullptr;
    bool ready = ftruncate(fd, off_t(size)) == 0;
    if (ready && paint) {
        void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ready = pixels != MAP_FAILED;
        if (ready) {
            paint(static_cast<unsigned char*>(pixels), int(stride));
            munmap(pixels, size);
        }
    }
    if (ready) {
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(size));
        buffer = wl_shm_pool_create_buffer(pool, 0, width, height, int32_t(stride),
                                           alpha ? WL_SHM_FORMAT_ARGB8888 : WL_SHM_FORMAT_XRGB8888);
        wl_shm_pool_destroy(pool);
    }
    close(fd);
    return buffer;
}

}  // namespace zorvan::host
