// The service objects behind the shell.
#pragma once

#include <memory>

#include "qvhost/HostShell.h"

namespace qvhost {

// The object answering `service`, recording into `journal` and reading `settings`.
IUnknown* MakeServiceObject(QVService service, std::shared_ptr<Journal> journal,
                            std::shared_ptr<ShellSettings> settings);

}  // namespace qvhost
