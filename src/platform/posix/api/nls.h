// FormatMessageW and the other national-language pieces beyond code pages, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
