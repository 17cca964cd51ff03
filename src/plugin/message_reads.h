// GetLastErrorMsg for the calling thread, held to what it was told: a read with a buffer writes
// no more than the size this thread was last told for this index, whatever happened since.
#pragma once

#include "device/dev_orx_hid.h"

// The plug-in's own message (index -1), built anew on every call.
int ReadPluginMessage(const OrxString& text, char* buffer);
// The message of the device at index.
int ReadDeviceMessage(int index, Kestrel::DevOrxHID& device, char* buffer);
