#include "scanners/AutorunsScannerUnit.h"

#include <iterator>

namespace scanners {
namespace {

struct RunKey {
    os::HKEY root;
    const char16_t* key;
};

// Visited in this order; the four service profiles of HKEY_USERS are listed
// here because the user-hive scanner leaves exactly them out.
const RunKey kRunKeys[] = {
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_CURRENT_USER, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_USERS, u".DEFAULT\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_USERS, u".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_USERS, u".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_USERS, u".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_USERS, u".DEFAULT\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_USERS, u"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_USERS, u"S-1-5-18\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_USERS, u"S-1-5-18\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_USERS, u"S-1-5-18\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_USERS, u"S-1-5-18\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_USERS, u"S-1-5-19\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_USERS, u"S-1-5-19\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_USERS, u"S-1-5-19\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_USERS, u"S-1-5-19\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_USERS, u"S-1-5-19\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_USERS, u"S-1-5-20\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {os::HKEY_USERS, u"S-1-5-20\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {os::HKEY_USERS, u"S-1-5-20\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {os::HKEY_USERS, u"S-1-5-20\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunService"},
    {os::HKEY_USERS, u"S-1-5-20\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServiceOnce"},
    {os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run"},
};
static_assert(std::size(kRunKeys) == 31);

}  // namespace

void TAutorunsScanner::Scan() {
    for (const auto& entry : kRunKeys) ScanValues(entry.root, entry.key);
}

}  // namespace scanners
