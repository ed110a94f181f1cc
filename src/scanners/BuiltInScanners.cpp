#include "scanners/BuiltInScanners.h"

#include "scanners/AddRemoveScannerUnit.h"
#include "scanners/AutorunsScannerUnit.h"
#include "scanners/BHOScannerUnit.h"
#include "scanners/COMActiveXScannerUnit.h"
#include "scanners/ContextMenuScannerUnit.h"
#include "scanners/FileAssociationsScannerUnit.h"
#include "scanners/FileExtensionsScannerUnit.h"
#include "scanners/FontsScannerUnit.h"
#include "scanners/HKCUScannerUnit.h"
#include "scanners/HKLMScannerUnit.h"
#include "scanners/HKUScannerUnit.h"
#include "scanners/HelpFilePathesScannerUnit.h"
#include "scanners/HistoryScannerUnit.h"
#include "scanners/SharedDllsScannerUnit.h"
#include "scanners/ShellExtensionsScannerUnit.h"
#include "scanners/StartMenuScannerUnit.h"
#include "scanners/ToolbarButtonsScannerUnit.h"

namespace scanners {

std::vector<std::unique_ptr<scan::TScanner>> BuiltInScanners() {
    std::vector<std::unique_ptr<scan::TScanner>> made;
    made.push_back(std::make_unique<THKLMScanner>());
    made.push_back(std::make_unique<THKCUScanner>());
    made.push_back(std::make_unique<THKUScanner>());
    made.push_back(std::make_unique<TFileExtensionsScanner>());
    made.push_back(std::make_unique<TFileAssociationsScanner>());
    made.push_back(std::make_unique<THistoryScanner>());
    made.push_back(std::make_unique<TShellExtensionsScanner>());
    made.push_back(std::make_unique<TSharedDllsScanner>());
    made.push_back(std::make_unique<THelpFilePathesScanner>());
    made.push_back(std::make_unique<TCOMActiveXScanner>());
    made.push_back(std::make_unique<TAutorunsScanner>());
    made.push_back(std::make_unique<TContextMenuScanner>());
    made.push_back(std::make_unique<TToolbarButtonsScanner>());
    made.push_back(std::make_unique<TBHOScanner>());
    made.push_back(std::make_unique<TStartMenuScanner>());
    made.push_back(std::make_unique<TAddRemoveScanner>());
    made.push_back(std::make_unique<TFontsScanner>());
    return made;
}

}  // namespace scanners
