// Key handles kept for the length of a scan, so that reading a key's values
// and subkeys does not open the key again for every question: each open and
// close is a kernel call on Windows and a server round trip under Wine.
//
// The cache belongs to one thread and exists only while a TKeyCacheScope
// lives on it (the scan worker's passes); every other thread, and the scan
// thread outside the scope, opens and closes a handle per operation as
// before. Handles are kept per root, path, view and access. Within one root,
// view and access only the chain of keys leading to the newest one stays
// open: opening a key closes the cached keys that are not its ancestors,
// which is the moment a depth-first walk leaves them. Every change made to
// the registry through the layer, on any thread, empties every thread's
// cache before its next read, so no read ever goes through a handle to a key
// that was deleted, replaced or given other security since it was opened.
#pragma once

#include <memory>
#include <string>

#include "platform/RegKey.h"

namespace platform {

class TKeyCacheScope {
public:
    TKeyCacheScope();
    ~TKeyCacheScope();
    TKeyCacheScope(const TKeyCacheScope&) = delete;
    TKeyCacheScope& operator=(const TKeyCacheScope&) = delete;

    struct State;

private:
    std::unique_ptr<State> state_;
    State* previous_;
};

// Called by every change through the layer, before and after it is made:
// the handles cached on any thread are closed before that thread reads again.
void RegistryChanged();

// Brackets one change to the registry.
struct TRegistryChange {
    TRegistryChange() { RegistryChanged(); }
    ~TRegistryChange() { RegistryChanged(); }
    TRegistryChange(const TRegistryChange&) = delete;
    TRegistryChange& operator=(const TRegistryChange&) = delete;
};

// A key opened for reading: borrowed from the thread's cache when a scope is
// active, otherwise opened for this read alone. A cached handle holding more
// rights than asked for serves the request; the answers are the same, as a
// request only uses the rights it asks for. Under a scope, a request for a
// subset of KEY_READ opens with KEY_READ so that one handle serves every
// read of the key, and falls back to the narrower rights where KEY_READ is
// denied: the key opens exactly when it would have opened alone.
class TReadKey {
public:
    os::LSTATUS Open(os::HKEY root, const std::u16string& key, os::REGSAM access, RegView view);
    const RegKey& get() const { return *key_; }

private:
    std::shared_ptr<RegKey> key_;
};

}  // namespace platform
