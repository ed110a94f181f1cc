#include "ui/Synchronize.h"

#include <mutex>
#include <utility>

namespace ui {
namespace {

std::mutex g_mainMutex;
std::shared_ptr<TSyncTarget> g_main;

}  // namespace

std::shared_ptr<TSyncTarget> MainSyncTarget() {
    std::lock_guard lock(g_mainMutex);
    return g_main;
}

void SetMainSyncTarget(std::shared_ptr<TSyncTarget> target) {
    std::lock_guard lock(g_mainMutex);
    g_main = std::move(target);
}

}  // namespace ui
