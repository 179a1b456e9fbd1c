/*
 * Preloaded into 32-bit Wine when it runs under qemu-user (kernels without
 * 32-bit support). qemu treats MAP_FIXED_NOREPLACE as a mere hint, so Wine's
 * address-space reservation splits every refused range down to 64 KiB and
 * start-up takes about a minute. Giving back the kernel's answer (EEXIST),
 * and refusing hints above 2 GiB like a 2G/2G split, brings it under a second.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static void *map_pages(void *addr, size_t len, int prot, int flags, int fd, unsigned long page)
{
    if ((flags & MAP_FIXED_NOREPLACE) && (unsigned long)addr >= 0x80000000UL) {
        errno = ENOMEM;
        return MAP_FAILED;
    }
    void *p = (void *)syscall(SYS_mmap2, addr, len, prot, flags, fd, page);
    if (p != MAP_FAILED && (flags & MAP_FIXED_NOREPLACE) && p != addr) {
        syscall(SYS_munmap, p, len);
        errno = EEXIST;
        return MAP_FAILED;
    }
    return p;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    if (off & 4095) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return map_pages(addr, len, prot, flags, fd, (unsigned long)off >> 12);
}

void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    if (off & 4095) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return map_pages(addr, len, prot, flags, fd, (unsigned long)(off >> 12));
}
