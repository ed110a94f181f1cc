#include "platform/emul/RegistryViews.h"

#include <array>

#include "platform/Text.h"

namespace emul::reg {
namespace {

constexpr std::u16string_view kSoftware = u"SOFTWARE";
constexpr std::u16string_view kClasses = u"Classes";
constexpr std::u16string_view kWowNode = u"Wow6432Node";

struct Rule {
    std::u16string_view path;  // below HKLM\SOFTWARE
    bool shared;
};

// The keys below HKLM\SOFTWARE that Windows 7 documents as shared between
// the views (one physical key seen by both), and the keys below a shared
// key that are redirected again. A key inherits the rule of its nearest
// listed ancestor; SOFTWARE itself is redirected. Two keys are written as
// Windows names them, not as that table spells them ("Language Pack",
// "TransactionServer").
constexpr std::array kRules = {
    Rule{u"Classes", true},
    Rule{u"Classes\\CLSID", false},
    Rule{u"Classes\\DirectShow", false},
    Rule{u"Classes\\Interface", false},
    Rule{u"Classes\\Media Type", false},
    Rule{u"Classes\\MediaFoundation", false},
    Rule{u"Clients", true},
    Rule{u"Microsoft\\COM3", true},
    Rule{u"Microsoft\\Cryptography\\Calais\\Current", true},
    Rule{u"Microsoft\\Cryptography\\Calais\\Readers", true},
    Rule{u"Microsoft\\Cryptography\\Services", true},
    Rule{u"Microsoft\\CTF\\SystemShared", true},
    Rule{u"Microsoft\\CTF\\TIP", true},
    Rule{u"Microsoft\\DFS", true},
    Rule{u"Microsoft\\Driver Signing", true},
    Rule{u"Microsoft\\EnterpriseCertificates", true},
    Rule{u"Microsoft\\EventSystem", true},
    Rule{u"Microsoft\\MSMQ", true},
    Rule{u"Microsoft\\Non-Driver Signing", true},
    Rule{u"Microsoft\\Notepad\\DefaultFonts", true},
    Rule{u"Microsoft\\OLE", true},
    Rule{u"Microsoft\\RAS", true},
    Rule{u"Microsoft\\RPC", true},
    Rule{u"Microsoft\\Shared Tools\\MSInfo", true},
    Rule{u"Microsoft\\SystemCertificates", true},
    Rule{u"Microsoft\\TermServLicensing", true},
    Rule{u"Microsoft\\Transaction Server", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\App Paths", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Group Policy", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Policies", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\PreviewHandlers", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Setup", true},
    Rule{u"Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Console", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\FontDpi", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\FontLink", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\FontMapper", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Fonts", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\LanguagePack", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\NetworkCards", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Perflib", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Ports", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Print", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList", true},
    Rule{u"Microsoft\\Windows NT\\CurrentVersion\\Time Zones", true},
    Rule{u"Policies", true},
    Rule{u"RegisteredApplications", true},
};

struct SplitRule {
    std::vector<std::u16string_view> parts;
    bool shared;
};

const std::vector<SplitRule>& Rules() {
    static const std::vector<SplitRule> rules = [] {
        std::vector<SplitRule> out;
        for (const auto& rule : kRules) {
            SplitRule split{{}, rule.shared};
            std::size_t start = 0;
            for (;;) {
                auto end = rule.path.find(u'\\', start);
                split.parts.push_back(rule.path.substr(start, end == std::u16string_view::npos ? end : end - start));
                if (end == std::u16string_view::npos) break;
                start = end + 1;
            }
            out.push_back(std::move(split));
        }
        return out;
    }();
    return rules;
}

// Does the rule's path start with logical[1..]? (logical[0] is SOFTWARE)
bool RuleBelowOrAt(const SplitRule& rule, const Path& logical) {
    std::size_t n = logical.size() - 1;
    if (rule.parts.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (!text::EqualNoCase(rule.parts[i], logical[i + 1])) return false;
    return true;
}

bool RuleCovers(const SplitRule& rule, const Path& logical) {
    std::size_t n = logical.size() - 1;
    if (rule.parts.size() > n) return false;
    for (std::size_t i = 0; i < rule.parts.size(); ++i)
        if (!text::EqualNoCase(rule.parts[i], logical[i + 1])) return false;
    return true;
}

bool InRedirectedTree(Root root, const Path& logical, View view) {
    return view == View::Bits32 && root == Root::Machine && !logical.empty() &&
           text::EqualNoCase(logical[0], kSoftware);
}

bool Shared(const Path& logical) {
    const SplitRule* best = nullptr;
    for (const auto& rule : Rules())
        if (RuleCovers(rule, logical) && (!best || rule.parts.size() > best->parts.size())) best = &rule;
    return best && best->shared;
}

}  // namespace

bool IsViewAlias(Root root, const Path& logical, std::u16string_view name, View view) {
    if (!InRedirectedTree(root, logical, view) || !text::EqualNoCase(name, kWowNode)) return false;
    return logical.size() == 1 || (logical.size() == 2 && text::EqualNoCase(logical[1], kClasses));
}

void NormalizeLogical(Root root, Path& logical, View view) {
    if (!InRedirectedTree(root, logical, view)) return;
    Path out;
    out.reserve(logical.size());
    for (auto& name : logical) {
        if (!out.empty() && IsViewAlias(root, out, name, view)) continue;
        out.push_back(std::move(name));
    }
    logical = std::move(out);
}

Path ToRaw(Root root, const Path& logical, View view) {
    if (!InRedirectedTree(root, logical, view)) return logical;
    Path raw;
    raw.reserve(logical.size() + 1);
    raw.push_back(logical[0]);
    if (logical.size() > 1 && Shared(logical)) {
        raw.insert(raw.end(), logical.begin() + 1, logical.end());
        return raw;
    }
    if (logical.size() > 2 && text::EqualNoCase(logical[1], kClasses)) {
        raw.push_back(logical[1]);
        raw.emplace_back(kWowNode);
        raw.insert(raw.end(), logical.begin() + 2, logical.end());
        return raw;
    }
    raw.emplace_back(kWowNode);
    raw.insert(raw.end(), logical.begin() + 1, logical.end());
    return raw;
}

const Path& RawPath(Root root, const Path& logical, View view, Path& storage) {
    if (!InRedirectedTree(root, logical, view)) return logical;
    storage = ToRaw(root, logical, view);
    return storage;
}

bool Straddles(Root root, const Path& logical, View view) {
    if (!InRedirectedTree(root, logical, view)) return false;
    for (const auto& rule : Rules())
        if (rule.parts.size() > logical.size() - 1 && RuleBelowOrAt(rule, logical)) return true;
    return false;
}

std::vector<std::u16string_view> TableChildren(const Path& logical) {
    std::vector<std::u16string_view> out;
    if (logical.empty()) return out;
    for (const auto& rule : Rules()) {
        if (rule.parts.size() > logical.size() - 1 && RuleBelowOrAt(rule, logical)) {
            auto name = rule.parts[logical.size() - 1];
            bool seen = false;
            for (auto n : out) seen = seen || text::EqualNoCase(n, name);
            if (!seen) out.push_back(name);
        }
    }
    return out;
}

}  // namespace emul::reg
