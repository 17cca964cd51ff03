// Scenario files: a small line format that describes a simulated world (radios, boards, what
// stands on them over time, and what happens to them when). docs/simulation.md describes it.
#pragma once

#include "sim/world.h"

#include <string>

namespace sim {

// Reads a scenario from text. On failure returns false with error "<source>:<line>: <why>" and
// leaves out untouched.
bool ParseScenario(const std::string& text, const std::string& source, Scenario& out, std::string& error);
// Reads the scenario file at path; errors name the file.
bool LoadScenarioFile(const std::string& path, Scenario& out, std::string& error);

}  // namespace sim
