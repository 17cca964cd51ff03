// Whether a build is a pre-release to announce to the host, and what to announce.
#pragma once

#include "plugin/module_version.h"
#include "support/orx_string.h"

// True with the announcement in text ("<description> <version text>") when the version says
// pre-release; false when nothing is to be announced.
bool PreReleaseAnnouncement(const ModuleVersion& version, OrxString& text);
