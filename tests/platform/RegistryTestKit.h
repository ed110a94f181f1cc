// Small helpers for the registry conformance tests: an owning key handle and
// readers that turn a key's content into comparable values. Everything goes
// through the OS seam, so the same checks run natively and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"

namespace regtest {

using Key = platform::KeyHandle;

inline os::LSTATUS Open(os::HKEY root, const std::u16string& path, os::REGSAM sam, Key& key,
                        os::DWORD options = 0) {
    return os::RegOpenKeyExW(root, path.c_str(), options, sam, key.put());
}

inline Key MustCreate(os::HKEY root, const std::u16string& path, os::REGSAM sam = os::KEY_ALL_ACCESS,
                      os::DWORD options = 0) {
    Key key;
    auto rc = os::RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, sam, nullptr, key.put(), nullptr);
    EXPECT_EQ(rc, os::ERROR_SUCCESS) << "creating " << text::ToUtf8(path);
    return key;
}

inline bool Exists(os::HKEY root, const std::u16string& path, os::REGSAM view = 0) {
    Key key;
    return Open(root, path, os::KEY_QUERY_VALUE | view, key) == os::ERROR_SUCCESS;
}

inline os::LSTATUS SetBytes(os::HKEY key, const std::u16string& name, os::DWORD type,
                            const std::vector<std::uint8_t>& data) {
    return os::RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<os::DWORD>(data.size()));
}

inline std::vector<std::uint8_t> Utf16Bytes(std::u16string_view s) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    return {p, p + s.size() * 2};
}

inline std::vector<std::u16string> SubkeyNames(os::HKEY key) {
    std::vector<std::u16string> names;
    for (os::DWORD i = 0;; ++i) {
        char16_t name[256];
        os::DWORD chars = 256;
        auto rc = os::RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != os::ERROR_SUCCESS) {
            EXPECT_EQ(rc, static_cast<os::LSTATUS>(os::ERROR_NO_MORE_ITEMS));
            return names;
        }
        names.emplace_back(name, chars);
    }
}

inline std::vector<std::u16string> ValueNames(os::HKEY key) {
    std::vector<std::u16string> names;
    for (os::DWORD i = 0;; ++i) {
        char16_t name[16384];
        os::DWORD chars = 16384;
        auto rc = os::RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
        if (rc != os::ERROR_SUCCESS) {
            EXPECT_EQ(rc, static_cast<os::LSTATUS>(os::ERROR_NO_MORE_ITEMS));
            return names;
        }
        names.emplace_back(name, chars);
    }
}

// One line per key and per value, subkeys in enumeration order: equal dumps
// mean equal trees, down to value types and bytes.
inline void DumpInto(os::HKEY key, const std::string& prefix, std::string& out) {
    for (os::DWORD i = 0;; ++i) {
        char16_t name[16384];
        os::DWORD chars = 16384, type = 0, bytes = 0;
        if (os::RegEnumValueW(key, i, name, &chars, nullptr, &type, nullptr, &bytes) != os::ERROR_SUCCESS) break;
        std::vector<std::uint8_t> data(bytes + 1);
        chars = 16384;
        os::RegEnumValueW(key, i, name, &chars, nullptr, &type, data.data(), &bytes);
        out += prefix + " \"" + text::ToUtf8(std::u16string(name, chars)) + "\" type " + std::to_string(type) + ":";
        static const char* hex = "0123456789abcdef";
        for (os::DWORD b = 0; b < bytes; ++b) (out += hex[data[b] >> 4]) += hex[data[b] & 15];
        out += "\n";
    }
    for (const auto& child : SubkeyNames(key)) {
        Key sub;
        auto path = prefix + "\\" + text::ToUtf8(child);
        out += path + "\n";
        if (Open(key, child, os::KEY_READ, sub) == os::ERROR_SUCCESS) DumpInto(sub.get(), path, out);
    }
}

inline std::string Dump(os::HKEY root, const std::u16string& path, os::REGSAM view = 0) {
    Key key;
    if (Open(root, path, os::KEY_READ | view, key) != os::ERROR_SUCCESS) return "<missing>";
    std::string out;
    DumpInto(key.get(), "", out);
    return out;
}

}  // namespace regtest
