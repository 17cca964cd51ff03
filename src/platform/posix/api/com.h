// COM class objects, OLE initialisation and registration, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
