// Test-only declarations for the Apple syntax pass: Debian's <fcntl.h> plus
// the request that the Apple C library adds, from the fcntl(2) manual page.
// The value only lets the pass compile. Never shipped.
#pragma once

#include_next <fcntl.h>

#ifndef F_GETPATH
#define F_GETPATH 50
#endif
