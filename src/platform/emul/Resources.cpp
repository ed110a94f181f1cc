// Program resources as the build embeds them. The table belongs to the
// process, not to the machine: the build registers it once and Reset keeps it.
#include <deque>
#include <mutex>

#include "platform/Text.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace {

// A name or type is a number (MAKEINTRESOURCE) or a string, compared
// without case as the resource loader does.
struct ResourceId {
    std::uintptr_t number = 0;
    std::u16string name;

    static ResourceId From(os::LPCWSTR id) {
        ResourceId out;
        auto value = reinterpret_cast<std::uintptr_t>(id);
        if (value < 0x10000) {
            out.number = value;
            return out;
        }
        std::u16string_view spelled(id);
        // "#101" names the numbered resource 101, as the loader reads it.
        if (spelled.size() > 1 && spelled[0] == u'#' &&
            spelled.find_first_not_of(u"0123456789", 1) == std::u16string_view::npos && spelled.size() < 7) {
            for (auto c : spelled.substr(1)) out.number = out.number * 10 + static_cast<std::uintptr_t>(c - u'0');
            if (out.number < 0x10000) return out;
            out.number = 0;
        }
        out.name = text::UpCase(spelled);
        return out;
    }
    bool operator==(const ResourceId& other) const { return number == other.number && name == other.name; }
};

struct Resource {
    ResourceId name;
    ResourceId type;
    std::string bytes;
};

struct ResourceTable {
    std::mutex mutex;
    // Entries never move or go away: HRSRC and the locked data point into them.
    std::deque<Resource> entries;
};

ResourceTable& Table() {
    static ResourceTable table;
    return table;
}

constexpr std::uintptr_t kExeModule = 0x00400000;

bool IsProgramModule(os::HMODULE module) {
    return !module || reinterpret_cast<std::uintptr_t>(module) == kExeModule;
}

}  // namespace

void RegisterResource(std::u16string_view name, os::LPCWSTR type, std::string bytes) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    std::u16string nameText(name);
    table.entries.push_back({ResourceId::From(nameText.c_str()), ResourceId::From(type), std::move(bytes)});
}

}  // namespace emul

namespace os {

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (!emul::IsProgramModule(module) || !name || !type) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto wantedName = emul::ResourceId::From(name);
    auto wantedType = emul::ResourceId::From(type);
    auto& table = emul::Table();
    std::lock_guard lock(table.mutex);
    bool typeSeen = false;
    // The latest registration of a name wins.
    for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
        if (!(it->type == wantedType)) continue;
        typeSeen = true;
        if (it->name == wantedName) return reinterpret_cast<HRSRC>(&*it);
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<char*>(reinterpret_cast<emul::Resource*>(resource)->bytes.data());
}

void* LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(reinterpret_cast<emul::Resource*>(resource)->bytes.size());
}

}  // namespace os
