// Test-only declarations for the Apple syntax pass (scripts/check-apple-syntax.sh):
// the locale-taking functions that libc++ uses on Apple systems, written from
// the xlocale(3) manual page. The C library below them is Debian's; only what
// the Apple C library offers beyond it is declared here. Never shipped.
#pragma once

#include <ctype.h>
#include <locale.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

// Debian's C library reads its own locale structure in these macros; on an
// Apple system they are functions, declared by the C library below.
#undef isdigit_l
#undef isxdigit_l

#ifdef __cplusplus
extern "C" {
#endif

int snprintf_l(char* buffer, size_t size, locale_t locale, const char* format, ...);
int asprintf_l(char** buffer, locale_t locale, const char* format, ...);
int sscanf_l(const char* text, locale_t locale, const char* format, ...);

#ifdef __cplusplus
}
#endif
