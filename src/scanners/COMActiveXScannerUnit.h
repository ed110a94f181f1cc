// COM classes whose server file is gone, and type-library help folders that
// are gone, in the local machine's class registrations.
#pragma once

#include <string>

#include "platform/os/WinApi.h"
#include "scan/Scanners.h"

namespace scanners {

class TCOMActiveXScanner : public scan::TScanner {
public:
    void Scan() override;

private:
    void ScanCLSIDServers();
    void ScanTypeLibs();
    void ScanTypeLibHelpDirs(os::HKEY root, const std::u16string& key);
};

}  // namespace scanners
