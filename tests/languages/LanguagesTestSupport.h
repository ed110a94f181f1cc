// Shared by the language tests: the files the program ships, read from the
// source tree, and the wizard form over the headless toolkit.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/os/WinApi.h"

namespace langtest {

struct TShipped {
    const char* File;
    os::LANGID Id;
    os::UINT CodePage;  // the ANSI code page of the language
};

inline const TShipped kShipped[] = {
    {"German.lng", 1031, 1252}, {"French.lng", 1036, 1252},  {"Spanish.lng", 3082, 1252},
    {"Russian.lng", 1049, 1251}, {"Japanese.lng", 1041, 932},
};

// Test names and failures show the file, not the record's bytes.
inline void PrintTo(const TShipped& lang, std::ostream* out) { *out << lang.File; }

// The file's bytes as shipped.
std::string ReadShipped(const char* file);
// The names of resources/lang/*.lng (host side), sorted.
std::vector<std::string> ShippedFileNames();

}  // namespace langtest
