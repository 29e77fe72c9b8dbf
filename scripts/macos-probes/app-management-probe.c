// Tells whether this process may change the contents of an application
// bundle: creates, renames and removes a file of its own in the bundle's
// Contents folder, and prints the answer of each call. Since macOS 13 App
// Management refuses (EPERM) a process not signed by the bundle's own team
// unless it has App Management or Full Disk Access. Leaves nothing behind.
//
//   app-management-probe /Applications/Some.app
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int report(const char* what, int result)
{
    printf("%-8s %s\n", what, result == 0 ? "ok" : strerror(errno));
    return result;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <bundle.app>\n", argv[0]);
        return 2;
    }
    char created[4096], renamed[4096];
    snprintf(created, sizeof created, "%s/Contents/.tw-app-management-probe", argv[1]);
    snprintf(renamed, sizeof renamed, "%s/Contents/.tw-app-management-probe-renamed", argv[1]);
    printf("uid %d, bundle %s\n", (int)getuid(), argv[1]);
    const int fd = open(created, O_WRONLY | O_CREAT | O_EXCL, 0600);
    report("create", fd >= 0 ? 0 : -1);
    if (fd < 0)
        return 0;
    close(fd);
    if (report("rename", rename(created, renamed)) == 0)
        report("unlink", unlink(renamed));
    else
        report("unlink", unlink(created));
    return 0;
}
