#include "i18n/LanguageManager.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <utility>

#include "i18n/CodePage.h"
#include "i18n/LangError.h"
#include "i18n/LanguageController.h"
#include "platform/Handle.h"

namespace i18n {

namespace {

std::span<const std::uint8_t> BuiltInConstantsStream() {
    os::HRSRC resource = os::FindResourceW(nullptr, u"LANG_CONSTS", os::RT_RCDATA);
    if (!resource) return {};
    os::HGLOBAL loaded = os::LoadResource(nullptr, resource);
    if (!loaded) return {};
    const void* bytes = os::LockResource(loaded);
    if (!bytes) return {};
    return {static_cast<const std::uint8_t*>(bytes), os::SizeofResource(nullptr, resource)};
}

bool IsExistingFile(const std::u16string& name) {
    os::DWORD attributes = os::GetFileAttributesW(name.c_str());
    return attributes != os::INVALID_FILE_ATTRIBUTES && !(attributes & os::FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The language is only read by old-format streams while the table loads,
// which happens in the constructor before anyone else can see the manager.
TLanguageManager::TLanguageManager(std::span<const std::uint8_t> constantsStream)
    : FConstants([this] { return FLanguageID; }), FCodePage(LanguageCodePage(kDefaultLanguageID)) {
    if (!constantsStream.empty()) FConstants.LoadFromStream(constantsStream);
    ApplyTranslations(nullptr);
}

TLanguageManager::TLanguageManager() : TLanguageManager(BuiltInConstantsStream()) {}

TLanguageManager::~TLanguageManager() = default;

std::u16string TLanguageManager::GetConstantValue(std::u16string_view name) const {
    std::shared_lock lock(FSynchronizer);
    if (const TLangConstant* c = FConstants.Find(name)) return c->wsValue;
    throw ELangError(Format(u"Constant \"%s\" not found", {name}));
}

std::size_t TLanguageManager::ConstantCount() const {
    std::shared_lock lock(FSynchronizer);
    return FConstants.Count();
}

os::LANGID TLanguageManager::LanguageID() const {
    std::shared_lock lock(FSynchronizer);
    return FLanguageID;
}

os::UINT TLanguageManager::CodePage() const {
    std::shared_lock lock(FSynchronizer);
    return FCodePage;
}

TLangResources TLanguageManager::LangResources() const {
    std::shared_lock lock(FSynchronizer);
    return FLangResources;
}

void TLanguageManager::SetLanguageID(os::LANGID language) {
    std::unique_ptr<TLangCompTranslations> translations;
    bool changed = false;
    {
        std::unique_lock lock(FSynchronizer);
        translations = LoadTranslationsLocked(language);
        if (!translations) language = kDefaultLanguageID;
        changed = language != FLanguageID;
        if (changed) {
            FLanguageID = language;
            FCodePage = LanguageCodePage(language);
        }
    }
    if (changed) ApplyTranslations(translations.get());
}

int TLanguageManager::ScanForLangFiles(const std::u16string& dir, const std::u16string& mask, bool recursive) {
    std::u16string folder = dir;
    if (folder.empty() || folder.back() != u'\\') folder += u'\\';
    os::WIN32_FIND_DATAW data{};
    platform::FindHandle find(os::FindFirstFileW((folder + mask).c_str(), &data));
    if (!find) return 0;
    int count = 0;
    do {
        std::u16string name(data.cFileName,
                            std::find(std::begin(data.cFileName), std::end(data.cFileName), u'\0'));
        if (data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY) {
            if (recursive && !name.empty() && name[0] != u'.') count += ScanForLangFiles(folder + name, mask, true);
        } else if (RegisterLangFile(folder + name)) {
            ++count;
        }
    } while (os::FindNextFileW(find.get(), &data));
    return count;
}

bool TLanguageManager::RegisterLangFile(const std::u16string& fileName) {
    std::unique_lock lock(FSynchronizer);
    if (!IsExistingFile(fileName)) return false;
    os::LANGID id = LoadLangFile(fileName, true)->LangID();
    if (id == 0) return false;
    if (id != kDefaultLanguageID) {
        TLangResource entry{TLangResourceKind::lrkFile, nullptr, fileName, 0, id};
        auto it = std::find_if(FLangResources.begin(), FLangResources.end(),
                               [id](const TLangResource& r) { return r.wLangID == id; });
        if (it != FLangResources.end())
            *it = std::move(entry);
        else
            FLangResources.push_back(std::move(entry));
    }
    return true;
}

os::LANGID TLanguageManager::MatchingLanguage(os::LANGID wanted) const {
    constexpr auto primary = [](os::LANGID id) { return id & 0x3FF; };
    constexpr auto rank = [](os::LANGID id) { return std::pair((id >> 10) != 1, id); };  // SUBLANG_DEFAULT first
    if (wanted == kDefaultLanguageID) return wanted;
    std::shared_lock lock(FSynchronizer);
    std::optional<os::LANGID> best;
    for (const auto& resource : FLangResources) {
        if (resource.wLangID == wanted) return wanted;
        if (primary(resource.wLangID) == primary(wanted) && (!best || rank(resource.wLangID) < rank(*best)))
            best = resource.wLangID;
    }
    return best.value_or(kDefaultLanguageID);
}

void TLanguageManager::AddLangController(TLanguageController* controller) {
    std::unique_lock lock(FSynchronizer);
    if (std::find(FLangControllers.begin(), FLangControllers.end(), controller) == FLangControllers.end())
        FLangControllers.push_back(controller);
}

void TLanguageManager::RemoveLangController(TLanguageController* controller) {
    std::unique_lock lock(FSynchronizer);
    std::erase(FLangControllers, controller);
}

std::unique_ptr<TLangCompTranslations> TLanguageManager::LoadTranslations(os::LANGID language) const {
    std::shared_lock lock(FSynchronizer);
    return LoadTranslationsLocked(language);
}

std::unique_ptr<TLangCompTranslations> TLanguageManager::LoadTranslationsLocked(os::LANGID language) const {
    if (language == kDefaultLanguageID) return nullptr;
    for (const auto& resource : FLangResources)
        if (resource.wLangID == language && resource.Kind == TLangResourceKind::lrkFile)
            return LoadLangFile(resource.wsName, false);
    return nullptr;
}

void TLanguageManager::ApplyTranslations(const TLangCompTranslations* t) {
    // Texts change under the write lock: the scan worker may be reading them.
    {
        std::unique_lock lock(FSynchronizer);
        for (TLangConstant& c : FConstants) {
            if (!t)
                c.wsValue = c.wsDefValue;
            else if (const TLangConstant* translated = t->FConstants.Find(c.wsName))
                c.wsValue = translated->wsValue;
        }
    }
    // Re-captioning runs without the lock: component setters may well look
    // up constants themselves.
    std::vector<TLanguageController*> controllers;
    {
        std::shared_lock lock(FSynchronizer);
        controllers = FLangControllers;
    }
    for (TLanguageController* controller : controllers) controller->ApplyTranslations(t);
}

TLanguageManager& LangManager() {
    // Never destroyed: a scan worker still running when the program ends may
    // look up a constant after static destructors have run.
    static TLanguageManager* const manager = new TLanguageManager();
    return *manager;
}

std::u16string LangConst(std::u16string_view name) { return LangManager().GetConstantValue(name); }

std::u16string LangConstFmt(std::u16string_view name, std::initializer_list<FormatArg> args) {
    return Format(LangConst(name), args);
}

}  // namespace i18n
