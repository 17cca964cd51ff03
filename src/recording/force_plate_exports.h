// Force-plate exports without kymhost's header: a Vicon Nexus "Devices" CSV (a preamble, the
// device rate on its own line, "Frame,Sub Frame,Fx,Fy,Fz,Mx,My,Mz,Cx,Cy,Cz" for each plate, a
// units row, no time column) and a headerless six-column export (Fx Fy Fz Mx My Mz, as AMTI's
// NetForce writes them, the rate given apart).
#pragma once

#include "recording/trial_reader.h"

#include <string>
#include <string_view>

namespace recording {

// The first line that is not blank says which: "Devices" starts a Nexus export, six numbers a
// headerless one.
bool IsNexusDevices(std::string_view firstLine);
bool IsSixColumnExport(std::string_view firstLine);

// The plate-th force plate (from 1): the force from Fz, whose sign Nexus gives as the force on
// the plate (downwards, negative), the centre of pressure from Cx and Cy in the lab's axes, the
// time from Frame, Sub Frame and the rate.
bool ReadNexusDevices(const std::string& path, const Axes& axes, int plate, SampleSink& sink, std::string& error);

// Newtons and newton-metres, z downwards as the plate's maker has it (a standing person's Fz is
// positive); the centre of pressure x = -(My + d Fx) / Fz, y = (Mx - d Fy) / Fz, with d the depth of
// the plate's origin below its surface (depthMm; 0 for a plate whose stated origin is on it).
bool ReadSixColumnExport(const std::string& path, const Axes& axes, double rateHz, double depthMm, SampleSink& sink,
                         std::string& error);

}  // namespace recording
