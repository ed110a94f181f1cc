#include "app/Report.h"

#include <nlohmann/json.hpp>

#include "app/MainFormUnit.h"
#include "app/ProgramVersion.h"
#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerRegValueProduct.h"
#include "findings/RegKeyProduct.h"
#include "findings/RegStrDataProduct.h"
#include "platform/RegKey.h"
#include "platform/Text.h"
#include "platform/Wow64.h"

namespace app {
namespace {

using Json = nlohmann::ordered_json;

std::string U8(const std::u16string& s) { return text::ToUtf8(s); }

std::u16string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::u16string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) out += u',';
        out += static_cast<char16_t>(digits[bytes[i] >> 4]);
        out += static_cast<char16_t>(digits[bytes[i] & 15]);
    }
    return out;
}

// The value's data as a person reads it: text for strings, a number for
// DWORDs, the strings of a multi-string one per line, bytes in hex otherwise.
bool ReadData(os::HKEY root, const std::u16string& key, const std::u16string& name, platform::RegView view,
              std::u16string& out) {
    platform::RegKey handle;
    if (handle.Open(root, key, os::KEY_READ, view) != os::ERROR_SUCCESS) return false;
    os::DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (handle.QueryValue(name, type, data) != os::ERROR_SUCCESS) return false;
    std::u16string textData(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < textData.size(); ++i)
        textData[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    switch (type) {
        case os::REG_SZ:
        case os::REG_EXPAND_SZ:
            out = textData.substr(0, textData.find(u'\0'));
            return true;
        case os::REG_MULTI_SZ:
            while (!textData.empty() && textData.back() == u'\0') textData.pop_back();
            for (auto& c : textData)
                if (c == u'\0') c = u'\n';
            out = textData;
            return true;
        case os::REG_DWORD:
            if (data.size() == 4) {
                out = text::FromAscii(std::to_string(data[0] | (data[1] << 8) | (data[2] << 16) |
                                                     (static_cast<std::uint32_t>(data[3]) << 24)));
                return true;
            }
            break;
        default:
            break;
    }
    out = Hex(data);
    return true;
}

void AddScannerFinding(std::vector<TReportFinding>& out, const findings::TCleanerScanProduct& f) {
    TReportFinding r;
    r.Finding = &f;
    r.Kind = u"scanner";
    r.Description = f.GetDescription();
    r.View = ViewName(f.View());
    if (auto* key = dynamic_cast<const findings::TCleanerRegKeyProduct*>(&f)) {
        r.Class = findings::TCleanerRegKeyProduct::kTypeName;
        r.Root = platform::RootKeyName(key->RootKey());
        r.Key = key->SubKey();
    } else if (auto* value = dynamic_cast<const findings::TCleanerRegValueProduct*>(&f)) {
        r.Class = findings::TCleanerRegValueProduct::kTypeName;
        r.Root = platform::RootKeyName(value->RootKey());
        r.Key = value->SubKey();
        r.Value = value->Value();
        r.HasValue = true;
        r.HasData = ReadData(value->RootKey(), value->SubKey(), value->Value(), value->View(), r.Data);
    }
    out.push_back(std::move(r));
}

Json Text(const std::u16string& s) { return U8(s); }

}  // namespace

std::u16string ViewName(platform::RegView view) {
    if (!platform::IsWindows64()) return u"default";
    return view.bits & os::KEY_WOW64_64KEY ? u"64-bit" : u"32-bit";
}

std::vector<TReportFinding> CollectFindings(TMainForm& form) {
    std::vector<TReportFinding> out;
    for (int i = 0; i < form.ResultsListBox->Count(); ++i) {
        void* data = form.ResultsListBox->Item(i).Data;
        if (form.ListProduct() && data == form.ListProduct()) {
            for (std::size_t k = 0; k < form.ListProduct()->Count(); ++k)
                if (auto* f = form.ListProduct()->Item(k)) AddScannerFinding(out, *f);
            continue;
        }
        auto* product = static_cast<findings::TScanProduct*>(data);
        if (!product) continue;
        TReportFinding r;
        r.Finding = product;
        r.Kind = u"setting";
        r.Description = product->GetDescription();
        r.View = ViewName(platform::RegView::Default());
        if (auto* s = dynamic_cast<findings::TRegStrDataProduct*>(product)) {
            r.Class = findings::TRegStrDataProduct::kTypeName;
            r.Root = platform::RootKeyName(s->RootKey());
            r.Key = s->Key();
            r.Value = s->Value();
            r.Data = s->Data();
            r.HasValue = r.HasData = true;
            // A launch setting is checked in both views on 64-bit Windows and
            // names the view it deviates in; the same deviation in both is one
            // finding.
            if (s->Views().size() > 1) r.View = u"both";
            else if (s->Views().size() == 1) r.View = ViewName(s->Views().front());
        } else if (auto* k = dynamic_cast<findings::TRegKeyProduct*>(product)) {
            r.Class = findings::TRegKeyProduct::kTypeName;
            r.Root = platform::RootKeyName(k->RootKey());
            r.Key = k->Key();
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::string ReportJson(const TReport& report) {
    Json j;
    j["format"] = 1;
    j["program"] = "Tallowmend";
    j["version"] = U8(kProgramVersion);
    j["time"] = U8(NowText());
    auto windows = WindowsText();
    auto blank = windows.rfind(u' ');
    j["windows"] = {{"version", U8(windows.substr(0, blank))},
                    {"architecture", platform::IsWindows64() ? "x64" : "x86"}};
    j["mode"] = U8(report.Mode);
    j["exit_code"] = report.ExitCode;
    j["error"] = report.Error.empty() ? Json(nullptr) : Text(report.Error);
    if (!report.Session.empty()) j["session"] = U8(report.Session);
    if (report.Mode != u"restore") {
        Json list = Json::array();
        for (const auto& f : report.Findings) {
            Json o;
            o["kind"] = U8(f.Kind);
            o["class"] = U8(f.Class);
            o["root"] = U8(f.Root);
            o["key"] = U8(f.Key);
            o["value"] = f.HasValue ? Text(f.Value) : Json(nullptr);
            o["data"] = f.HasData ? Text(f.Data) : Json(nullptr);
            o["view"] = U8(f.View);
            o["description"] = U8(f.Description);
            if (report.Outcomes) {
                auto it = report.Outcomes->find(f.Finding);
                if (it == report.Outcomes->end()) {
                    o["outcome"] = "skipped";
                    o["reason"] = "not repaired";
                    o["journal_entry"] = nullptr;
                } else {
                    o["outcome"] = RepairKindName(it->second.Kind);
                    o["reason"] = it->second.Reason.empty() ? Json(nullptr) : Text(it->second.Reason);
                    o["journal_entry"] = it->second.Entry.empty()
                                             ? Json(nullptr)
                                             : Json{{"session", U8(report.Session)}, {"entry", U8(it->second.Entry)}};
                }
            }
            list.push_back(std::move(o));
        }
        j["findings"] = std::move(list);
    } else {
        Json list = Json::array();
        for (const auto& r : report.Restored) {
            const char* outcome = r.Outcome == TRestoreOutcome::Restored ? "restored"
                                  : r.Outcome == TRestoreOutcome::Failed ? "failed"
                                                                         : "skipped";
            list.push_back({{"entry", U8(r.Entry.Name)},
                            {"class", U8(r.Entry.Type)},
                            {"description", U8(r.Entry.Description)},
                            {"outcome", outcome},
                            {"reason", r.Reason.empty() ? Json(nullptr) : Text(r.Reason)}});
        }
        j["restored"] = std::move(list);
    }
    // Registry text may hold anything; invalid UTF-16 must not stop the report.
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace app
