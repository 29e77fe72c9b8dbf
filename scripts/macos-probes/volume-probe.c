// Tells, for each path given, what the removal tool sees of its folder when
// it decides whether that is the root of a mount: the device and inode
// numbers (and those of its parent), the path that F_GETPATH gives back, the
// file system's mount point, type and source (statfs), and the folder's
// mount status (fgetattrlist, ATTR_DIR_MOUNTSTATUS).
//
//   volume-probe <path>...
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/attr.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <sys/stat.h>
#include <unistd.h>

static void probe(const char* path)
{
    printf("%s\n", path);
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        printf("  open: %s\n", strerror(errno));
        return;
    }
    struct stat info;
    if (fstat(fd, &info) == 0)
        printf("  device %lld inode %llu\n", (long long)info.st_dev, (unsigned long long)info.st_ino);
    struct stat parent;
    if (fstatat(fd, "..", &parent, 0) == 0)
        printf("  parent device %lld inode %llu\n", (long long)parent.st_dev, (unsigned long long)parent.st_ino);

    char back[MAXPATHLEN];
    if (fcntl(fd, F_GETPATH, back) == 0)
        printf("  F_GETPATH %s\n", back);
    else
        printf("  F_GETPATH: %s\n", strerror(errno));

    struct statfs fileSystem;
    if (fstatfs(fd, &fileSystem) == 0)
        printf("  f_mntonname %s, f_fstypename %s, f_mntfromname %s\n", fileSystem.f_mntonname, fileSystem.f_fstypename,
            fileSystem.f_mntfromname);
    else
        printf("  fstatfs: %s\n", strerror(errno));

    struct attrlist request;
    memset(&request, 0, sizeof request);
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.dirattr = ATTR_DIR_MOUNTSTATUS;
    struct {
        uint32_t length;
        uint32_t mountStatus;
    } reply;
    if (!S_ISDIR(info.st_mode))
        printf("  mount status: not a folder\n");
    else if (fgetattrlist(fd, &request, &reply, sizeof reply, 0) == 0)
        printf("  mount status 0x%x (mount point: %s)\n", (unsigned)reply.mountStatus,
            (reply.mountStatus & DIR_MNTSTATUS_MNTPOINT) ? "yes" : "no");
    else
        printf("  fgetattrlist: %s\n", strerror(errno));
    close(fd);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: volume-probe <path>...\n");
        return 64;
    }
    for (int i = 1; i < argc; ++i)
        probe(argv[i]);
    return 0;
}
