#include "app/entry/CommandLine.h"

#include <cctype>
#include <cstdlib>

#include "platform/Text.h"

namespace fs = std::filesystem;

namespace entry {
namespace {

void ParseOption(const std::vector<std::string>& args, std::size_t& i, TCommandLine& line) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string {
        if (i + 1 >= args.size()) throw TUsageError(a + " needs a value");
        return args[++i];
    };
    if (a == "--machine") {
        line.Machines.push_back(value());
    } else if (a == "--drive") {
        std::string v = value();
        if (v.size() < 3 || v[1] != '=' || !std::isalpha(static_cast<unsigned char>(v[0])))
            throw TUsageError("--drive takes X=DIR");
        fs::path dir = v.substr(2);
        if (!fs::is_directory(dir)) throw TUsageError("not a folder: " + dir.string());
        line.Drives[static_cast<char16_t>(std::toupper(static_cast<unsigned char>(v[0])))] = dir;
    } else if (a == "--windows") {
        line.Shaped = true;
        std::string v = value();
        if (v == "xp")
            line.Version = {5, 1, 2600, u"Service Pack 3"};
        else if (v == "vista")
            line.Version = {6, 0, 6002, u"Service Pack 2"};
        else if (v == "7")
            line.Version = {6, 1, 7601, u"Service Pack 1"};
        else if (v == "8")
            line.Version = {6, 2, 9200, u""};
        else if (v == "10")
            line.Version = {10, 0, 19045, u""};
        else
            throw TUsageError("--windows takes xp, vista, 7, 8 or 10");
    } else if (a == "--arch") {
        line.Shaped = true;
        std::string v = value();
        if (v != "x86" && v != "x64") throw TUsageError("--arch takes x86 or x64");
        line.Arch = v == "x86" ? emul::Arch::Windows32 : emul::Arch::Windows64;
    } else if (a == "--ui-language") {
        std::string v = value();
        char* end = nullptr;
        unsigned long id = std::strtoul(v.c_str(), &end, 0);
        if (v.empty() || *end || id == 0 || id > 0xFFFF)
            throw TUsageError("--ui-language takes a language identifier such as 1031");
        line.UiLanguage = static_cast<os::LANGID>(id);
    } else if (a == "--auto") {
        line.Automatic = true;
    } else if (a == "--scan-only") {
        line.ScanOnly = true;
    } else if (a == "--details") {
        line.Details = true;
    } else if (a == "--undo") {
        line.Undo = true;
    } else if (a == "--list-backups") {
        line.ListBackups = true;
    } else if (a == "--report") {
        line.Report = value();
    } else if (a == "--restore") {
        line.Restore = value();
    } else if (a == "--save") {
        line.Save = value();
    } else if (a == "--offline") {
        line.Offline = fs::path(value());
    } else if (a == "--user") {
        line.User = text::FromUtf8(value());
    } else if (a == "-debug") {
        line.Debug = true;
    } else {
        throw TUsageError("unknown option " + a);
    }
}

void CheckCombination(const TCommandLine& line) {
    if (int(line.ScanOnly) + int(line.ListBackups) + int(line.Restore.has_value()) > 1)
        throw TUsageError("use one of --scan-only, --restore and --list-backups at a time");
    if (line.Report && !line.ScanOnly && !line.Restore && !line.Automatic)
        throw TUsageError("--report goes with --scan-only, --restore or --auto");
    if (line.Undo && (line.ScanOnly || line.ListBackups || line.Restore || line.Report))
        throw TUsageError("--undo opens the wizard's undo page; it goes with no other mode");
    if (line.User && !line.Offline) throw TUsageError("--user goes with --offline");
    if (line.Offline && (!line.Machines.empty() || line.Save || line.Undo || line.ListBackups || line.Restore ||
                         line.Drives.count(u'C') || line.Drives.count(u'P') || line.Shaped))
        throw TUsageError(
            "--offline takes the machine from the drive: it goes with --user, --drive "
            "(other than C:), --scan-only, --auto, --report, --details, --ui-language and -debug");
}

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) ParseOption(args, i, line);
    CheckCombination(line);
    return line;
}

std::vector<std::u16string> ProgramArguments(const TCommandLine& line, const std::u16string& program) {
    std::vector<std::u16string> args{program};
    if (line.Debug) args.push_back(u"-debug");
    if (line.Undo) args.push_back(u"-restore");
    if (line.ScanOnly) args.push_back(u"-scan");
    if (line.ListBackups) args.push_back(u"-list");
    if (line.Restore) {
        args.push_back(u"-restore");
        args.push_back(text::FromUtf8(*line.Restore));
    }
    if (line.Report && line.Automatic) args.push_back(u"-fix");
    if (line.Report) {
        args.push_back(u"-report");
        args.push_back(text::FromUtf8(*line.Report));
    }
    return args;
}

}  // namespace entry
