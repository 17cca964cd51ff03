// The Bluetooth API of bthprops.cpl: radios, devices, authentication and services, declared for the POSIX layer.
// Included by platform/win32.h only.
#pragma once
