// Test-only declarations for the Apple syntax pass: the attribute query of an
// open file, written from the getattrlist(2) manual page. The numeric values
// only let the pass compile; a Mac build uses the system's own. Never shipped.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

typedef uint32_t attrgroup_t;

struct attrlist {
    unsigned short bitmapcount;
    uint16_t reserved;
    attrgroup_t commonattr;
    attrgroup_t volattr;
    attrgroup_t dirattr;
    attrgroup_t fileattr;
    attrgroup_t forkattr;
};

#define ATTR_BIT_MAP_COUNT 5
#define ATTR_DIR_MOUNTSTATUS 0x00000004
#define DIR_MNTSTATUS_MNTPOINT 0x00000001
#define DIR_MNTSTATUS_TRIGGER 0x00000002

#ifdef __cplusplus
extern "C" {
#endif

int fgetattrlist(int fd, struct attrlist* attrList, void* attrBuf, size_t attrBufSize, unsigned long options);

#ifdef __cplusplus
}
#endif
