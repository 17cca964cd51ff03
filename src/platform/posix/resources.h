// Resources of the plug-in's module, embedded at build time from src/resources (the same bytes
// the Windows resource compiler puts into the DLL).
#pragma once

#include <cstddef>
#include <cstdint>

namespace posix {

struct EmbeddedResource {
  uint16_t type;      // RT_RCDATA, RT_STRING, RT_VERSION, RT_MANIFEST
  uint16_t id;
  uint16_t language;
  const unsigned char* data;
  size_t size;
};

// The plug-in's module hands its table over when it is loaded (as the loader maps a DLL's
// resource section).
void RegisterPluginResources(const EmbeddedResource* table, size_t count);

// A string-table block of the simulated host executable; language -1 means any, the default
// language first. Records stay valid for the life of the process.
const EmbeddedResource* FindHostResource(uint16_t type, uint16_t id, int language);

}  // namespace posix
