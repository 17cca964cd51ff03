// Resource numbers of the plug-in file, shared by the resource script and the code.
#pragma once

#define IDR_DEVICE_CONTROL_LIST 105
#define IDR_INPUT_AMP_CONTROL_LIST 107
#define IDS_DEVICE_NAME 101
#define IDS_MAKER_NAME 102
#define RESOURCE_LANGUAGE 0x1409
