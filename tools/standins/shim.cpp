// A stand-in system library: every export is forwarded to the simulated world's library, so
// that the plug-in's Bluetooth, HID and SetupAPI calls all reach one world.
