// Opening a key's security up for a repair and putting it back afterwards.
#include "platform/RegistryAccess.h"

#include "platform/KeyCache.h"

namespace platform {

void HeapFreeDeleter::operator()(void* p) const {
    if (p) os::HeapFree(os::GetProcessHeap(), 0, p);
}

namespace {

// The key's DACL as a self-relative descriptor on the process heap; empty
// when the system does not hand it over.
SavedDescriptor ReadDacl(os::HKEY key) {
    os::DWORD bytes = 0;
    auto status = os::RegGetKeySecurity(key, os::DACL_SECURITY_INFORMATION, nullptr, &bytes);
    SavedDescriptor buffer;
    if (status == static_cast<os::LSTATUS>(os::ERROR_INSUFFICIENT_BUFFER)) {
        // A little slack: the descriptor may grow between the two calls.
        bytes += 4;
        buffer.reset(os::HeapAlloc(os::GetProcessHeap(), os::HEAP_ZERO_MEMORY, bytes));
        if (!buffer) return {};
        status = os::RegGetKeySecurity(key, os::DACL_SECURITY_INFORMATION, buffer.get(), &bytes);
    }
    if (status != os::ERROR_SUCCESS) return {};
    return buffer;
}

// Gives the key a NULL DACL: everyone may do everything with it.
bool OpenUp(os::HKEY key) {
    SavedDescriptor open(os::HeapAlloc(os::GetProcessHeap(), os::HEAP_ZERO_MEMORY, os::SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!open) return false;
    if (!os::InitializeSecurityDescriptor(open.get(), os::SECURITY_DESCRIPTOR_REVISION)) return false;
    if (!os::SetSecurityDescriptorDacl(open.get(), os::TRUE, nullptr, os::FALSE)) return false;
    // A handle opened before keeps the rights it was granted: the caches
    // must not serve reads the new security would refuse.
    TRegistryChange change;
    return os::RegSetKeySecurity(key, os::DACL_SECURITY_INFORMATION, open.get()) == os::ERROR_SUCCESS;
}

bool Unlock(os::HKEY root, const std::u16string& keyPath, os::REGSAM extra, SavedDescriptor& saved, bool unlock) {
    RegKey key;
    if (key.Open(root, keyPath, kSecurityMask, RegView(extra)) != os::ERROR_SUCCESS)
        return false;  // a restore can be tried again: `saved` stays with the caller
    if (unlock) {
        auto previous = ReadDacl(key.get());
        if (!previous) return false;
        if (!OpenUp(key.get())) return false;
        // Only a successful unlock hands a descriptor back; whatever the
        // caller held before is released, not leaked.
        saved = std::move(previous);
        return true;
    }
    SavedDescriptor restore = std::move(saved);
    if (!restore) return false;
    TRegistryChange change;
    return os::RegSetKeySecurity(key.get(), os::DACL_SECURITY_INFORMATION, restore.get()) == os::ERROR_SUCCESS;
}

}  // namespace

bool UnlockRegistryKey(os::HKEY root, const std::u16string& key, bool unlock, SavedDescriptor& saved,
                       RegView view) {
    return Unlock(root, key, view.bits, saved, unlock);
}

TKeyUnlock::TKeyUnlock(os::HKEY root, std::u16string key, RegView view)
    : root_(root), key_(std::move(key)), view_(view) {
    Unlock(root_, key_, view_.bits, saved_, true);
}

TKeyUnlock::~TKeyUnlock() {
    if (saved_) Unlock(root_, key_, view_.bits, saved_, false);
}

bool RegistryCanOpenKey(os::HKEY root, const std::u16string& key, os::REGSAM extraAccess) {
    RegKey handle;
    return handle.Open(root, key, kSecurityMask, RegView(extraAccess)) == os::ERROR_SUCCESS;
}

namespace {

os::LSTATUS UnlockTree(os::HKEY root, const std::u16string& key, RegView view, bool stopAtUnreadable,
                       std::u16string* unreadable, int depth) {
    {
        // The tree is deleted next, so its old security is not kept.
        RegKey self;
        if (self.Open(root, key, kSecurityMask, view, os::REG_OPTION_OPEN_LINK) == os::ERROR_SUCCESS &&
            ReadDacl(self.get()))
            OpenUp(self.get());
    }
    // A link opened as itself has no subkeys: the walk never reaches its target.
    StringList names;
    RegKey self;
    auto status = self.Open(root, key, kReadMask, view, os::REG_OPTION_OPEN_LINK);
    if (status == os::ERROR_SUCCESS) status = self.SubKeyNames(names);
    self.Close();
    if (status != os::ERROR_SUCCESS && stopAtUnreadable) {
        if (unreadable) *unreadable = key;
        return status;
    }
    if (depth >= 600) return os::ERROR_SUCCESS;  // far below any stack limit; registry nesting stops at 512
    for (const auto& name : names) {
        status = UnlockTree(root, key + u"\\" + name, view, stopAtUnreadable, unreadable, depth + 1);
        if (status != os::ERROR_SUCCESS) return status;
    }
    return os::ERROR_SUCCESS;
}

}  // namespace

os::LSTATUS UnlockKeyTree(os::HKEY root, const std::u16string& key, RegView view, bool stopAtUnreadable,
                          std::u16string* unreadable) {
    return UnlockTree(root, key, view, stopAtUnreadable, unreadable, 0);
}

}  // namespace platform
