// A driver slow to cancel, in a Windows process: kernel32 cancels a pipe read at once, so the
// plug-in's own CancelIo is taken over and the cancel is passed on only after the device's
// cancellation delay (never, for a driver that ends the read only when its file closes). The
// plug-in's reads, waits and GetOverlappedResult stay kernel32's.
#pragma once

namespace standins {

// Takes over the plug-in's import of CancelIo, once; harmless when the plug-in is not loaded yet.
void TakeOverPluginCancelIo();

}  // namespace standins
