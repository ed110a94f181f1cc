#include "platform/RegKeyText.h"

#include <cstring>

#include "platform/FileIo.h"
#include "platform/RegKey.h"
#include "platform/Text.h"

namespace platform {
namespace {

using emul::regtext::Value;

std::u16string FullPath(os::HKEY root, const std::u16string& key) {
    const char16_t* relative = RelativeKeyPath(key);
    return *relative ? RootKeyName(root) + u"\\" + relative : RootKeyName(root);
}

[[noreturn]] void Fail(const std::u16string& what, os::LSTATUS status) {
    throw ERegistryError(what + u" (error " + text::FromAscii(std::to_string(status)) + u")", status);
}

void ReadTree(os::HKEY handle, const std::u16string& path, std::vector<RegTextKey>& out) {
    os::DWORD subKeys = 0, maxSubKey = 0, values = 0, maxName = 0, maxData = 0;
    auto status = os::RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                       &maxName, &maxData, nullptr, nullptr);
    if (status != os::ERROR_SUCCESS) Fail(u"Cannot read key " + path, status);
    RegTextKey key;
    key.path = path;
    std::vector<char16_t> name;
    std::vector<std::uint8_t> data;
    for (os::DWORD i = 0;; ++i) {
        // Room for what the key reported, grown when a value changed since.
        name.assign(maxName + 2, 0);
        data.assign(maxData + 2, 0);
        os::DWORD nameChars = static_cast<os::DWORD>(name.size());
        os::DWORD dataBytes = static_cast<os::DWORD>(data.size());
        os::DWORD type = 0;
        status = os::RegEnumValueW(handle, i, name.data(), &nameChars, nullptr, &type, data.data(), &dataBytes);
        if (status == os::ERROR_NO_MORE_ITEMS) break;
        if (status == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) {
            maxName = maxName * 2 + 256;
            maxData = std::max<os::DWORD>(maxData * 2, dataBytes) + 256;
            --i;
            continue;
        }
        if (status != os::ERROR_SUCCESS) Fail(u"Cannot read the values of key " + path, status);
        Value value;
        value.name.assign(name.data(), nameChars);
        value.type = type;
        value.data.assign(data.begin(), data.begin() + dataBytes);
        key.values.push_back(std::move(value));
    }
    out.push_back(std::move(key));

    std::vector<std::u16string> children;
    for (os::DWORD i = 0;; ++i) {
        name.assign(std::max<os::DWORD>(maxSubKey, 255) + 2, 0);
        os::DWORD nameChars = static_cast<os::DWORD>(name.size());
        status = os::RegEnumKeyExW(handle, i, name.data(), &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (status == os::ERROR_NO_MORE_ITEMS) break;
        if (status != os::ERROR_SUCCESS) Fail(u"Cannot list the subkeys of " + path, status);
        children.emplace_back(name.data(), nameChars);
    }
    for (const auto& child : children) {
        RegKey sub;
        status = sub.Open(handle, child, os::KEY_READ, RegView::Default());
        if (status != os::ERROR_SUCCESS) Fail(u"Cannot open key " + path + u"\\" + child, status);
        ReadTree(sub.get(), path + u"\\" + child, out);
    }
}

// Subkey paths below `base`, which must begin every path of the tree.
std::u16string RelativeTo(const std::u16string& base, const std::u16string& path) {
    if (path.size() == base.size() && text::EqualNoCase(path, base)) return {};
    if (path.size() > base.size() + 1 && path[base.size()] == u'\\' &&
        text::EqualNoCase(std::u16string_view(path).substr(0, base.size()), base))
        return path.substr(base.size() + 1);
    throw ERegistryError(u"Key " + path + u" lies outside the saved key " + base);
}

}  // namespace

std::vector<RegTextKey> ReadKeyTree(os::HKEY root, const std::u16string& key, RegView view) {
    RegKey handle;
    auto status = handle.Open(root, key, os::KEY_READ, view);
    if (status != os::ERROR_SUCCESS) Fail(u"Cannot open key " + FullPath(root, key), status);
    std::vector<RegTextKey> keys;
    ReadTree(handle.get(), FullPath(root, key), keys);
    return keys;
}

bool SaveKeyText(os::HKEY root, const std::u16string& key, RegView view, const std::u16string& file,
                 std::u16string& error) {
    std::string bytes;
    try {
        bytes = emul::regtext::WriteBytes(ReadKeyTree(root, key, view));
    } catch (const ERegistryError& e) {
        error = e.Message();
        return false;
    } catch (const std::exception& e) {
        error = text::FromUtf8(e.what());
        return false;
    }
    auto result = WriteFileAtomically(file, bytes.data(), bytes.size());
    if (result.step == FileResult::Open)
        error = u"Cannot create file " + file;
    else if (!result)
        error = u"Cannot write file " + file;
    return static_cast<bool>(result);
}

std::vector<RegTextKey> LoadKeyText(const std::u16string& file) {
    std::vector<std::uint8_t> bytes;
    auto result = ReadWholeFile(file, bytes, std::size_t{256} << 20);
    if (result.step == FileResult::Open) throw ERegistryError(u"Cannot open file " + file);
    if (result.step == FileResult::Read) throw ERegistryError(u"Cannot read file " + file);
    if (result.step == FileResult::TooLarge) throw ERegistryError(u"File " + file + u" is too large");
    emul::regtext::Document doc;
    try {
        doc = emul::regtext::ParseBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const std::exception& e) {
        throw ERegistryError(u"File " + file + u": " + text::FromUtf8(e.what()));
    }
    if (doc.keys.empty()) throw ERegistryError(u"File " + file + u" holds no key");
    auto base = doc.keys.front().path;
    std::vector<RegTextKey> tree;
    for (auto& k : doc.keys) {
        if (k.remove) throw ERegistryError(u"File " + file + u" removes a key");
        for (const auto& v : k.values)
            if (v.remove) throw ERegistryError(u"File " + file + u" removes a value");
        k.path = RelativeTo(base, k.path);
        tree.push_back(std::move(k));
    }
    return tree;
}

bool KeyTreeEquals(os::HKEY root, const std::u16string& key, RegView view, const std::vector<RegTextKey>& tree) {
    std::vector<RegTextKey> now;
    try {
        now = ReadKeyTree(root, key, view);
    } catch (const ERegistryError&) {
        return false;
    }
    if (now.size() != tree.size()) return false;
    auto base = FullPath(root, key);
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (!text::EqualNoCase(RelativeTo(base, now[i].path), tree[i].path)) return false;
        if (now[i].values != tree[i].values) return false;
    }
    return true;
}

void WriteKeyTree(os::HKEY root, const std::u16string& key, RegView view, const std::vector<RegTextKey>& tree) {
    auto base = FullPath(root, key);
    RegistryCreateKey(root, key, view);
    {
        // What the key holds now goes first: the saved tree replaces it, as a
        // hive restore would.
        StringList names;
        RegistryGetKeyNames(root, key, names, view);
        for (const auto& name : names)
            if (!RegistryDeleteKey(root, key + u"\\" + name, view))
                throw ERegistryError(u"Cannot remove key " + base + u"\\" + name);
        names.clear();
        RegistryGetValueNames(root, key, names, view);
        RegKey handle;
        auto status = handle.Open(root, key, kWriteMask, view);
        if (status != os::ERROR_SUCCESS) Fail(u"Cannot open key " + base + u" for writing", status);
        for (const auto& name : names) {
            status = handle.DeleteValue(name);
            if (status != os::ERROR_SUCCESS && status != static_cast<os::LSTATUS>(os::ERROR_FILE_NOT_FOUND))
                Fail(u"Cannot remove value \"" + name + u"\" of " + base, status);
        }
    }
    for (const auto& entry : tree) {
        std::u16string path = entry.path.empty() ? key : key + u"\\" + entry.path;
        RegKey handle;
        auto status = handle.Create(root, path, kCreateMask, view);
        if (status != os::ERROR_SUCCESS) Fail(u"Cannot create key " + FullPath(root, path), status);
        for (const auto& value : entry.values) {
            status = handle.SetValue(value.name, value.type, value.data.data(), value.data.size());
            if (status != os::ERROR_SUCCESS)
                Fail(u"Cannot write value \"" + value.name + u"\" of " + FullPath(root, path), status);
        }
    }
}

}  // namespace platform
