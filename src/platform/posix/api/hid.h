// hid.dll: HIDD_ATTRIBUTES and the HidD_* functions, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
