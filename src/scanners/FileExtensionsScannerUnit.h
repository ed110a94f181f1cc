// The shell's per-user file-extension settings: dead paths and extension
// keys left without any value.
#pragma once

#include "scan/Scanners.h"

namespace scanners {

class TFileExtensionsScanner : public scan::TScanner {
public:
    void Scan() override;
};

}  // namespace scanners
