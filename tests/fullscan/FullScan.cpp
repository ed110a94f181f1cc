#include "fullscan/FullScan.h"

#include <fstream>
#include <memory>
#include <string_view>
#include <utility>

#include "findings/CleanerScanProduct.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "scan/ScanManager.h"
#include "ui/headless/HeadlessLoop.h"

namespace fullscan {
namespace {

std::string Line(const findings::TCleanerScanProduct& product) {
    std::string line = product.View().bits == os::KEY_WOW64_64KEY ? "64 " : "32 ";
    line += text::ToUtf8(product.GetDescription());
    if (!product.Reason().empty()) line += " -- " + text::ToUtf8(product.Reason());
    return line;
}

}  // namespace

ScanResult RunFullScan(std::chrono::seconds timeout) {
    platform::InitWindows64();
    ScanResult result;
    ui::THeadlessLoop loop;
    loop.RegisterAsMain();
    auto* manager = new scan::TScanManager();
    manager->SetFoundEvent([&result](std::unique_ptr<findings::TCleanerScanProduct> product, findings::TCategory*) {
        result.lines.push_back(Line(*product));
        result.products.push_back(std::move(product));
    });
    manager->SetProgressEvent([](const std::u16string&) {});
    manager->SetCompletedEvent([&result] { result.completed = true; });
    manager->Start();
    loop.RunUntil([&result] { return result.completed; }, timeout);
    return result;
}

std::vector<std::string> ReadExpectations(const std::string& path, bool wine) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    const std::string_view mine = wine ? "wine: " : "native: ";
    const std::string_view other = wine ? "native: " : "wine: ";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.starts_with(other)) continue;
        if (line.starts_with(mine)) line.erase(0, mine.size());
        lines.push_back(line);
    }
    return lines;
}

}  // namespace fullscan
