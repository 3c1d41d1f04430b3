// What a run's options tell the services: the save dialog's answer and the stop button.
#pragma once

#include <string>
#include <vector>

#include "qvhost/ComponentRun.h"
#include "qvhost/HostShell.h"

namespace qvhost {

// Throws HostError when the file to save as has no folder to go in.
void ApplyRunSettings(const RunRequest& request, ShellSettings& settings);

// The files the module wrote where the save dialog pointed it and the pictures saved,
// in the order they were made.
std::vector<std::string> WrittenFiles(const ShellSettings& settings, const Journal& journal);

}  // namespace qvhost
