// Tells what a process may do inside a folder that the privacy controls
// guard (by default the home folder's Documents): open it, list it, and look
// up an entry in it (fstatat from the home folder's descriptor, and from the
// guarded folder's own). Each line: the step, then "ok" or the error's name.
//
//   privacy-probe <home> [guarded folder name] [entry name]
//
// run-probes.sh runs it as the user, as root from the terminal, and as a
// launchd job of the system domain (as the removal tool runs).
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static void report(const char* step, int failed, int error)
{
    printf("%-44s %s\n", step, failed ? strerror(error) : "ok");
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: privacy-probe <home> [guarded folder name] [entry name]\n");
        return 64;
    }
    const char* guarded = argc > 2 ? argv[2] : "Documents";
    const char* entry = argc > 3 ? argv[3] : "Nordaxis";
    char step[512];
    printf("uid %d, home %s, guarded %s, entry %s\n", (int)geteuid(), argv[1], guarded, entry);

    const int home = open(argv[1], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    report("open home", home < 0, errno);
    if (home < 0)
        return 1;

    struct stat info;
    snprintf(step, sizeof step, "fstatat(home, \"%s\")", guarded);
    report(step, fstatat(home, guarded, &info, AT_SYMLINK_NOFOLLOW) != 0, errno);

    char inside[1024];
    snprintf(inside, sizeof inside, "%s/%s", guarded, entry);
    snprintf(step, sizeof step, "fstatat(home, \"%s\")", inside);
    report(step, fstatat(home, inside, &info, AT_SYMLINK_NOFOLLOW) != 0, errno);
    snprintf(step, sizeof step, "fstatat(home, \"%s/no-such-entry\")", guarded);
    snprintf(inside, sizeof inside, "%s/no-such-entry", guarded);
    report(step, fstatat(home, inside, &info, AT_SYMLINK_NOFOLLOW) != 0, errno);

    const int folder = openat(home, guarded, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    snprintf(step, sizeof step, "openat(home, \"%s\")", guarded);
    report(step, folder < 0, errno);
    if (folder >= 0) {
        snprintf(step, sizeof step, "fstatat(%s, \"%s\")", guarded, entry);
        report(step, fstatat(folder, entry, &info, AT_SYMLINK_NOFOLLOW) != 0, errno);
        const int listed = dup(folder);
        DIR* listing = listed >= 0 ? fdopendir(listed) : NULL;
        int names = 0;
        errno = 0;
        if (listing) {
            while (readdir(listing))
                ++names;
        }
        const int error = errno;
        snprintf(step, sizeof step, "list %s (%d names)", guarded, names);
        report(step, !listing || error != 0, listing ? error : errno);
        if (listing)
            closedir(listing);
        close(folder);
    }
    close(home);
    return 0;
}
