// SetupAPI: device information sets and device interfaces, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
