// Key security in the emulated registry. A key only ever denies reading
// and/or writing to everybody; descriptors carry that as a DACL with an
// access-denied entry for Everyone before an allow-all entry, laid out as
// Windows lays out self-relative descriptors, so code that copies, stores
// and hands back a descriptor blob behaves as it would on Windows.
#include <cstring>
#include <mutex>
#include <shared_mutex>

#include "platform/emul/RegistryInternal.h"

namespace emul::reg {
namespace {

constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kDaclDefaulted = 0x0008;
constexpr std::uint16_t kSelfRelative = 0x8000;
constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kAclHeaderBytes = 8;
constexpr std::size_t kAceBytes = 20;  // type, flags, size, mask, SID S-1-1-0
constexpr std::uint8_t kAllowedAce = 0;
constexpr std::uint8_t kDeniedAce = 1;
constexpr os::DWORD kUnknownRevision = 1305;  // ERROR_UNKNOWN_REVISION
// The absolute form as Windows lays it out for this pointer width: owner,
// group, SACL and DACL pointers after the four header bytes. Writing all of
// it lets the sanitizers catch a caller that allocates the 32-bit size in a
// 64-bit build.
constexpr std::size_t kAbsoluteBytes = 4 + 4 * sizeof(void*);
constexpr std::size_t kAbsoluteDaclAt = 4 + 3 * sizeof(void*);
static_assert(kAbsoluteBytes == os::SECURITY_DESCRIPTOR_MIN_LENGTH);

void Put16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
std::uint16_t Get16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void PutAce(std::uint8_t* p, std::uint8_t type, std::uint32_t mask) {
    p[0] = type;
    p[1] = 0;
    Put16(p + 2, kAceBytes);
    Put32(p + 4, mask);
    static const std::uint8_t everyone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    std::memcpy(p + 8, everyone, sizeof everyone);
}

// Reads the rights an ACL denies. An ACL without entries denies everything.
bool DeniedByAcl(const std::uint8_t* acl, os::REGSAM& denied) {
    if (acl[0] != 2 && acl[0] != 4) return false;
    std::uint16_t size = Get16(acl + 2);
    std::uint16_t count = Get16(acl + 4);
    denied = count == 0 ? (kReadRights | kWriteRights) : 0;
    std::size_t at = kAclHeaderBytes;
    for (std::uint16_t i = 0; i < count; ++i) {
        if (at + 8 > size) return false;
        std::uint16_t aceSize = Get16(acl + at + 2);
        if (aceSize < 8 || at + aceSize > size) return false;
        if (acl[at] == kDeniedAce) denied |= Get32(acl + at + 4);
        at += aceSize;
    }
    return true;
}

}  // namespace

os::REGSAM DeniedRights(const Node* node) {
    os::REGSAM denied = 0;
    if (node->Has(kDenyRead)) denied |= kReadRights;
    if (node->Has(kDenyWrite)) denied |= kWriteRights;
    if (node->Has(kDenyDac)) denied |= os::WRITE_DAC;
    return denied;
}

std::vector<std::uint8_t> DescribeSecurity(const Node* node, os::SECURITY_INFORMATION info) {
    bool withDacl = (info & os::DACL_SECURITY_INFORMATION) != 0;
    bool nullDacl = withDacl && node->Has(kNullDacl);
    os::REGSAM denied = DeniedRights(node);
    std::size_t aces = withDacl && !nullDacl ? (denied ? 2 : 1) : 0;
    std::size_t aclBytes = withDacl && !nullDacl ? kAclHeaderBytes + aces * kAceBytes : 0;
    std::vector<std::uint8_t> sd(kHeaderBytes + aclBytes, 0);
    sd[0] = os::SECURITY_DESCRIPTOR_REVISION;
    Put16(&sd[2], static_cast<std::uint16_t>(kSelfRelative | (withDacl ? kDaclPresent : 0)));
    if (!withDacl || nullDacl) return sd;
    Put32(&sd[16], kHeaderBytes);
    auto* acl = &sd[kHeaderBytes];
    acl[0] = 2;
    Put16(acl + 2, static_cast<std::uint16_t>(aclBytes));
    Put16(acl + 4, static_cast<std::uint16_t>(aces));
    auto* ace = acl + kAclHeaderBytes;
    if (denied) {
        PutAce(ace, kDeniedAce, denied);
        ace += kAceBytes;
    }
    PutAce(ace, kAllowedAce, os::KEY_ALL_ACCESS);
    return sd;
}

os::LSTATUS ApplySecurity(Node* node, os::SECURITY_INFORMATION info, const void* sd) {
    if (!sd) return static_cast<os::LSTATUS>(os::ERROR_INVALID_PARAMETER);
    const auto* bytes = static_cast<const std::uint8_t*>(sd);
    if (bytes[0] != os::SECURITY_DESCRIPTOR_REVISION)
        return static_cast<os::LSTATUS>(os::ERROR_INVALID_SECURITY_DESCR);
    if (!(info & os::DACL_SECURITY_INFORMATION)) return os::ERROR_SUCCESS;
    std::uint16_t control = Get16(bytes + 2);
    const std::uint8_t* acl = nullptr;
    if (control & kDaclPresent) {
        if (control & kSelfRelative) {
            auto offset = Get32(bytes + 16);
            if (offset) acl = bytes + offset;
        } else {
            void* pointer = nullptr;
            std::memcpy(&pointer, bytes + kAbsoluteDaclAt, sizeof pointer);
            acl = static_cast<const std::uint8_t*>(pointer);
        }
    }
    // No DACL at all, or a NULL one, grants everybody everything.
    os::REGSAM denied = 0;
    if (acl && !DeniedByAcl(acl, denied)) return static_cast<os::LSTATUS>(os::ERROR_INVALID_SECURITY_DESCR);
    auto flags = static_cast<std::uint8_t>(node->flags & ~(kDenyRead | kDenyWrite | kNullDacl | kDenyDac));
    if (!acl) flags |= kNullDacl;
    if (denied & kReadRights) flags |= kDenyRead;
    if (denied & kWriteRights) flags |= kDenyWrite;
    if (denied & os::WRITE_DAC) flags |= kDenyDac;
    node->flags = flags;
    return os::ERROR_SUCCESS;
}

}  // namespace emul::reg

namespace os {

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(emul::reg::kUnknownRevision);
        return FALSE;
    }
    if (!sd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(sd, 0, emul::reg::kAbsoluteBytes);
    static_cast<std::uint8_t*>(sd)[0] = static_cast<std::uint8_t>(revision);
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL daclPresent, void* dacl, BOOL daclDefaulted) {
    using namespace emul::reg;
    if (!sd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* bytes = static_cast<std::uint8_t*>(sd);
    if (bytes[0] != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(kUnknownRevision);
        return FALSE;
    }
    auto control = Get16(bytes + 2);
    if (control & kSelfRelative) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    control = static_cast<std::uint16_t>(control & ~(kDaclPresent | kDaclDefaulted));
    void* pointer = nullptr;
    if (daclPresent) {
        control |= kDaclPresent;
        if (daclDefaulted) control |= kDaclDefaulted;
        pointer = dacl;
    }
    Put16(bytes + 2, control);
    std::memcpy(bytes + kAbsoluteDaclAt, &pointer, sizeof pointer);
    return TRUE;
}

}  // namespace os
