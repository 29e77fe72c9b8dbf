// Test-only declarations for the Apple syntax pass: the file system status,
// written from the statfs(2) manual page (the layout with 64-bit inodes), and
// the list of mounts from getmntinfo(3).
// Debian's <sys/mount.h> describes mount(2) instead. Never shipped.
#pragma once

#include <stdint.h>
#include <sys/types.h>

#define MFSTYPENAMELEN 16
#define MNT_WAIT 1
#define MNT_NOWAIT 2
#ifndef MAXPATHLEN
#define MAXPATHLEN 1024
#endif

struct statfs {
    uint32_t f_bsize;
    int32_t f_iosize;
    uint64_t f_blocks;
    uint64_t f_bfree;
    uint64_t f_bavail;
    uint64_t f_files;
    uint64_t f_ffree;
    fsid_t f_fsid;
    uid_t f_owner;
    uint32_t f_type;
    uint32_t f_flags;
    uint32_t f_fssubtype;
    char f_fstypename[MFSTYPENAMELEN];
    char f_mntonname[MAXPATHLEN];
    char f_mntfromname[MAXPATHLEN];
    uint32_t f_reserved[8];
};

#ifdef __cplusplus
extern "C" {
#endif

int statfs(const char* path, struct statfs* buf);
int fstatfs(int fd, struct statfs* buf);
int getmntinfo(struct statfs** mntbufp, int flags);

#ifdef __cplusplus
}
#endif
