// One scan: the registry scanners run one after another on a worker thread,
// once per registry view, and every finding, every 81st progress text and
// the end of the scan are handed to the owner on the UI thread.
//
// Only one scan at a time. RegistryViewFlag is process-wide, so two scans
// must never interleave their passes, yet the wizard can start a new scan
// while an earlier one still runs (Back, then Next). A manager therefore
// waits, on its own worker thread, until every manager started before it
// has finished, then runs its passes. The UI thread never waits: it keeps
// serving the running scan's deliveries while the new one queues. Scans run
// in the order of their Start calls, and every event of an earlier scan,
// its completion included, reaches the owner before any event of a later
// one. A Stop made while the manager waits still counts (its walks end at
// once when its turn comes); a Stop made before Start is lost.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "findings/Categories.h"
#include "findings/CleanerScanProduct.h"
#include "scan/Scanners.h"
#include "ui/WorkerThread.h"

namespace scan {

// The handler takes ownership of the finding. The category is always null.
using TFoundEvent =
    std::function<void(std::unique_ptr<findings::TCleanerScanProduct> ScanProduct, findings::TCategory* Category)>;
using TScanProgressEvent = std::function<void(const std::u16string& ProgressText)>;
using TCompletedEvent = std::function<void()>;

class TScanManager : public ui::TWorkerThread {
public:
    // Makes the scanners of one scan (scanners::BuiltInScanners for the
    // wizard); without one the scan finds nothing.
    using TScannerFactory = std::function<std::vector<std::unique_ptr<TScanner>>()>;

    // Suspended, freeing itself when its run ends. Deliveries go to the UI
    // thread's registered target, or to `target`.
    TScanManager();
    explicit TScanManager(std::shared_ptr<ui::TSyncTarget> target);
    ~TScanManager() override;

    // All three are set before Start; a missing handler drops its events
    // (and a dropped finding is released).
    void SetFoundEvent(TFoundEvent event) { FFoundEvent = std::move(event); }
    void SetProgressEvent(TScanProgressEvent event) { FProgressEvent = std::move(event); }
    void SetCompletedEvent(TCompletedEvent event) { FCompletedEvent = std::move(event); }
    void SetScannerFactory(TScannerFactory factory) { FScannerFactory = std::move(factory); }

    // UI thread: creates the scanners and lets the thread run. The object
    // may be gone by the time Start returns.
    void Start();
    // Any thread: asks the scanners' walks to stop. Valid until the
    // completion has been delivered.
    void Stop() { FScanning = false; }

protected:
    void Execute() override;

private:
    void CreateScanners();
    void AddScanner(std::unique_ptr<TScanner> scanner);
    void RunScanners();
    void RunPasses();

    bool ScannerAbort() const { return !FScanning; }
    void ScannerProgress(const std::u16string& text);
    void ScannerResultFound(std::unique_ptr<findings::TCleanerScanProduct> product);
    void DoProgress();
    void DoFound();
    void DoCompleted();

    // Read by the worker while any thread may Stop.
    std::atomic<bool> FScanning{false};
    std::vector<std::unique_ptr<TScanner>> FScanners;
    std::u16string FProgressText;
    std::int32_t FProgressDelay = 0;
    std::unique_ptr<findings::TCleanerScanProduct> FScanProduct;
    TFoundEvent FFoundEvent;
    TScanProgressEvent FProgressEvent;
    TCompletedEvent FCompletedEvent;
    TScannerFactory FScannerFactory;
};

}  // namespace scan
