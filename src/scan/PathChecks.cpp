#include "scan/PathChecks.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/FsRedirection.h"
#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/os/WinApi.h"

namespace scan {

namespace {

constexpr os::DWORD kErrorBadNetPath = 53;

// The errors that say for certain nothing is at the path.
bool NothingThere(os::DWORD error) {
    return error == os::ERROR_FILE_NOT_FOUND || error == os::ERROR_PATH_NOT_FOUND || error == os::ERROR_INVALID_NAME;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && s.front() <= 32) s.remove_prefix(1);
    while (!s.empty() && s.back() <= 32) s.remove_suffix(1);
    return s;
}

}  // namespace

namespace {

// Yes-or-no answers by text. A scan asks millions of times about some
// hundred thousand texts, so the table is laid out for that: one array of
// slots with each text's hash, the texts back to back in one buffer, and a
// lookup that reads one slot and, on a hash match, one text.
class TextAnswers {
public:
    std::optional<bool> Find(std::u16string_view text) const {
        if (slots_.empty()) return std::nullopt;
        const std::uint64_t hash = Hash(text);
        for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
            const Slot& slot = slots_[i];
            if (slot.size == kEmpty) return std::nullopt;
            if (slot.hash == hash && slot.size == text.size() &&
                std::u16string_view(texts_.data() + slot.offset, slot.size) == text)
                return slot.answer;
        }
    }
    // `text` must not be in the table yet.
    void Add(std::u16string_view text, bool answer) {
        if (2 * (count_ + 1) > slots_.size()) Grow();
        Place(Slot{Hash(text), texts_.size(), static_cast<std::uint32_t>(text.size()), answer});
        texts_.append(text);
        ++count_;
    }
    std::size_t Chars() const { return texts_.size(); }

private:
    static constexpr std::uint32_t kEmpty = ~std::uint32_t{0};
    struct Slot {
        std::uint64_t hash = 0;
        std::size_t offset = 0;
        std::uint32_t size = kEmpty;
        bool answer = false;
    };

    static std::uint64_t Mix(std::uint64_t h) {
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdULL;
        h ^= h >> 33;
        h *= 0xc4ceb9fe1a85ec53ULL;
        return h ^ (h >> 33);
    }
    static std::uint64_t Hash(std::u16string_view text) {
        std::uint64_t h = text.size();
        std::size_t i = 0;
        for (; i + 4 <= text.size(); i += 4) {
            std::uint64_t chunk;
            std::memcpy(&chunk, text.data() + i, sizeof chunk);
            h = Mix(h ^ chunk);
        }
        for (; i < text.size(); ++i) h = (h ^ text[i]) * 0x100000001b3ULL;
        return Mix(h);
    }
    void Place(const Slot& slot) {
        std::size_t i = slot.hash & mask_;
        while (slots_[i].size != kEmpty) i = (i + 1) & mask_;
        slots_[i] = slot;
    }
    void Grow() {
        std::vector<Slot> old(slots_.empty() ? 1024 : 2 * slots_.size());
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (const auto& slot : old)
            if (slot.size != kEmpty) Place(slot);
    }

    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t count_ = 0;
    std::u16string texts_;
};

}  // namespace

struct TPathMemoScope::State {
    // By question and view: what each path's answer was.
    TextAnswers answers[2][2];
    // By drive letter: whether it can be judged.
    std::unordered_map<char16_t, bool> drives;
    // By text: the whole judgement. Every path and drive it asks about is
    // remembered above, so within the scope the answer depends on the text
    // alone; the registry repeats texts (the same command in both views and
    // in the current user's hive seen twice), and a text judged again would
    // only ask all of it again. Bounded, so that a machine of unusually many
    // distinct texts costs the lookups again rather than unbounded memory.
    TextAnswers judged;
    static constexpr std::size_t kMaxJudgedChars = std::size_t{8} << 20;
    // The Windows folder's own name, upper case; empty until asked for.
    std::u16string windowsName;
};

namespace {

thread_local TPathMemoScope::State* tMemo = nullptr;

bool Guarded(std::u16string_view path) { return path.size() <= 2 || path[0] == u'A' || path[0] == u'B'; }

// Opens the link's target; a target held open without sharing still exists.
bool TargetOpens(const std::u16string& path, os::DWORD flags) {
    platform::FileHandle h(os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ, nullptr,
                                           os::OPEN_EXISTING, flags, nullptr));
    return h || os::GetLastError() == os::ERROR_SHARING_VIOLATION;
}

// A file whose attributes cannot be read (locked by the system) may still
// show up in a directory search.
bool FoundAsFile(const std::u16string& path) {
    os::WIN32_FIND_DATAW data{};
    platform::FindHandle find(os::FindFirstFileW(path.c_str(), &data));
    if (!find) return false;
    return !(data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY);
}

bool IsDefined(std::u16string_view variable) {
    std::u16string reference = u"%" + std::u16string(variable) + u"%";
    return ExpandEnvVars(reference) != reference;
}

bool EqualAsciiNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'A' && x <= u'Z') x += 32;
        if (y >= u'A' && y <= u'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

// The text as a 64-bit program would write it: the program-folder
// variables name the native folders.
std::u16string WithNativeProgramFolders(std::u16string_view text) {
    static constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 2> kNative{{
        {u"ProgramFiles", u"ProgramW6432"},
        {u"CommonProgramFiles", u"CommonProgramW6432"},
    }};
    return *RewriteReferences(text, [](std::u16string_view name) -> std::optional<std::u16string> {
        for (const auto& [x86, native] : kNative)
            if (EqualAsciiNoCase(name, x86) && IsDefined(native)) return u"%" + std::u16string(native) + u"%";
        return u"%" + std::u16string(name) + u"%";
    });
}

// SafeFileExists(path) || SafeDirectoryExists(path), asking the system for
// the attributes once instead of twice: every folder and every missing path
// a scan judges would otherwise be looked up two times.
bool FileOrFolderExists(std::u16string_view path) {
    if (Guarded(path)) return false;
    std::u16string name(path);
    os::DWORD attributes = os::GetFileAttributesW(name.c_str());
    if (attributes != os::INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & os::FILE_ATTRIBUTE_REPARSE_POINT)) return true;
        return TargetOpens(name, (attributes & os::FILE_ATTRIBUTE_DIRECTORY) ? os::FILE_FLAG_BACKUP_SEMANTICS : 0);
    }
    os::DWORD error = os::GetLastError();
    if (NothingThere(error)) return false;
    // The system could not say: a file may still show up in a directory
    // search, and a folder counts as present unless the network path is gone.
    return FoundAsFile(name) || error != kErrorBadNetPath;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// Whether the drive-path expression could match at all. It needs a letter,
// ":" and "\" in a row; text of ASCII characters alone reaches it byte for
// byte in every ANSI code page, so there the triple can be looked for
// directly. Any other character may turn into ":" or "\" on the way (the
// code page's closest equivalent of a full-width colon is ":"), so such
// text is always left to the expression.
bool MayHoldDrivePath(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0x80) return true;
        if (c != u':' || i == 0 || i + 1 >= text.size() || text[i + 1] != u'\\') continue;
        const char16_t letter = text[i - 1] | 0x20;
        if (letter >= u'a' && letter <= u'z') return true;
    }
    return false;
}

// The last component of a path.
std::u16string_view FileName(std::u16string_view path) {
    auto slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

bool HasExtension(std::u16string_view path) { return FileName(path).find(u'.') != std::u16string_view::npos; }

bool IsRundll(std::u16string_view program) {
    auto name = FileName(program);
    return text::EqualNoCase(name, u"rundll32") || text::EqualNoCase(name, u"rundll32.exe");
}

// The library rundll32 is told to load: its first argument up to the comma
// that names the entry point, without quotes.
std::u16string_view LibraryArgument(std::u16string_view arguments) {
    arguments = Trim(arguments);
    if (!arguments.empty() && arguments.front() == u'"') {
        auto close = arguments.find(u'"', 1);
        return Trim(arguments.substr(1, close == std::u16string_view::npos ? close : close - 1));
    }
    auto end = arguments.find(u',');
    if (end == std::u16string_view::npos) end = arguments.find_first_of(u" \t");
    return Trim(arguments.substr(0, end));
}

// A file (not a folder) at the path; a file the system cannot tell about
// (locked, on a drive that is not ready) counts as there.
bool FileOrUndecided(std::u16string_view path) {
    if (Guarded(path)) return false;
    std::u16string name(path);
    os::DWORD attributes = os::GetFileAttributesW(name.c_str());
    if (attributes != os::INVALID_FILE_ATTRIBUTES) {
        if (attributes & os::FILE_ATTRIBUTE_DIRECTORY) return false;
        return !(attributes & os::FILE_ATTRIBUTE_REPARSE_POINT) || TargetOpens(name, 0);
    }
    os::DWORD error = os::GetLastError();
    return !NothingThere(error) && error != kErrorBadNetPath;
}

std::u16string SystemFolderPath(bool windowsFolder) {
    char16_t buffer[os::MAX_PATH + 1] = {};
    os::UINT n = windowsFolder ? os::GetWindowsDirectoryW(buffer, os::MAX_PATH + 1)
                               : os::GetSystemDirectoryW(buffer, os::MAX_PATH + 1);
    return n == 0 || n > os::MAX_PATH ? std::u16string() : std::u16string(buffer, n);
}

}  // namespace

std::optional<std::u16string> RewriteReferences(
    std::u16string_view text, const std::function<std::optional<std::u16string>(std::u16string_view)>& replace) {
    std::u16string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find(u'%', pos);
        std::size_t close = open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
        if (close == std::u16string_view::npos) break;
        out.append(text.substr(pos, open - pos));
        auto replacement = replace(text.substr(open + 1, close - open - 1));
        if (!replacement) return std::nullopt;
        out += *replacement;
        pos = close + 1;
    }
    out.append(text.substr(pos));
    return out;
}

std::u16string ExpandEnvVars(std::u16string_view text) {
    // The system reads the text up to its first NUL; without a "%" in that
    // part it hands it back unchanged, so most registry text (names,
    // numbers, plain paths) need not cross to the system at all. Long text
    // still goes there: the system caps what it expands.
    const auto end = text.find(u'\0');
    if (end != std::u16string_view::npos) text = text.substr(0, end);
    constexpr std::size_t kShort = 4096;
    if (text.size() < kShort && text.find(u'%') == std::u16string_view::npos) return std::u16string(Trim(text));
    std::u16string source(text);
    // The size may grow between the two calls when another thread changes
    // the environment; ask again rather than keep a cut-off result.
    for (int attempt = 0; attempt < 4; ++attempt) {
        os::DWORD needed = os::ExpandEnvironmentStringsW(source.c_str(), nullptr, 0);
        if (needed < 1) return {};
        std::u16string buffer(needed, u'\0');
        os::DWORD written = os::ExpandEnvironmentStringsW(source.c_str(), buffer.data(), needed);
        if (written < 1) return {};
        if (written > needed) continue;
        return std::u16string(Trim(std::u16string_view(buffer.data(), written - 1)));
    }
    return {};
}

bool SafeFileExists(std::u16string_view path) {
    if (Guarded(path)) return false;
    std::u16string name(path);
    os::DWORD attributes = os::GetFileAttributesW(name.c_str());
    if (attributes != os::INVALID_FILE_ATTRIBUTES) {
        if (attributes & os::FILE_ATTRIBUTE_DIRECTORY) return false;
        if (attributes & os::FILE_ATTRIBUTE_REPARSE_POINT) return TargetOpens(name, 0);
        return true;
    }
    os::DWORD error = os::GetLastError();
    if (NothingThere(error)) return false;
    return FoundAsFile(name);
}

bool DriveCanBeJudged(std::u16string_view path) {
    if (path.size() < 2 || path[1] != u':') return true;
    char16_t letter = path[0] >= u'a' && path[0] <= u'z' ? static_cast<char16_t>(path[0] - 32) : path[0];
    if (letter < u'A' || letter > u'Z') return true;
    if (letter == u'A' || letter == u'B') return false;
    if (tMemo) {
        auto known = tMemo->drives.find(letter);
        if (known != tMemo->drives.end()) return known->second;
    }
    const char16_t root[] = {letter, u':', u'\\', 0};
    os::UINT type = os::GetDriveTypeW(root);
    const bool judged = type != os::DRIVE_NO_ROOT_DIR && type != os::DRIVE_UNKNOWN;
    if (tMemo) tMemo->drives.emplace(letter, judged);
    return judged;
}

bool PathExists(std::u16string_view path) { return FileOrFolderExists(path); }

bool SafeDirectoryExists(std::u16string_view path) {
    if (Guarded(path)) return false;
    std::u16string name(path);
    os::DWORD attributes = os::GetFileAttributesW(name.c_str());
    if (attributes != os::INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & os::FILE_ATTRIBUTE_DIRECTORY)) return false;
        if (attributes & os::FILE_ATTRIBUTE_REPARSE_POINT) return TargetOpens(name, os::FILE_FLAG_BACKUP_SEMANTICS);
        return true;
    }
    os::DWORD error = os::GetLastError();
    return !NothingThere(error) && error != kErrorBadNetPath;
}

TPathMemoScope::TPathMemoScope() : state_(std::make_unique<State>()), previous_(tMemo) { tMemo = state_.get(); }

TPathMemoScope::~TPathMemoScope() { tMemo = previous_; }

TPathJudge::TPathJudge()
    : FWindowsPathRegEx("^([a-z]:\\\\[^/:*?\"<>|\\r\\n]*)", TRegex::Caseless | TRegex::Multiline),
      FExtractQuoutedRegEx("^\"(.+?)\".*$", TRegex::None),
      FDeleteBottomPartRegEx("([,/][\\w-]*)?$", TRegex::None) {}

namespace {

// Whether `text` holds `upper` (upper case) anywhere, without case.
bool HoldsNoCase(std::u16string_view text, std::u16string_view upper) {
    for (std::size_t at = 0; at + upper.size() <= text.size(); ++at) {
        std::size_t i = 0;
        while (i < upper.size() && text::UpCase(text[at + i]) == upper[i]) ++i;
        if (i == upper.size()) return true;
    }
    return false;
}

const std::u16string& WindowsFolderName(TPathMemoScope::State& memo) {
    if (memo.windowsName.empty()) {
        auto folder = SystemFolderPath(true);
        auto name = std::u16string_view(folder).substr(folder.find_last_of(u'\\') + 1);
        // Unknown: "\\" is in every path this rule lets through.
        memo.windowsName = name.empty() ? u"\\" : text::UpCase(name);
    }
    return memo.windowsName;
}

// Whether a 32-bit process sees at `path` what the system sees. The WOW64
// file system redirector turns only names below the Windows folder into
// others: System32, lastgood\System32, regedit.exe and the Sysnative alias.
// It works on the name as given, before links and substituted drives are
// followed. So a plain drive path that names none of these, and nothing
// that could spell them another way (a short name, ".", "..", "/", a
// stream), reads the same in both views. Anything else is asked in each.
bool SameInBothViews(std::u16string_view path, TPathMemoScope::State& memo) {
    if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') return false;
    const char16_t letter = path[0] | 0x20;
    if (letter < u'a' || letter > u'z') return false;
    if (path.find_first_of(u"/~:", 2) != std::u16string_view::npos) return false;
    if (path.find(u"\\.") != std::u16string_view::npos) return false;
    for (std::u16string_view name : {u"SYSTEM32", u"SYSNATIVE", u"REGEDIT", u"LASTGOOD"})
        if (HoldsNoCase(path, name)) return false;
    return !HoldsNoCase(path, WindowsFolderName(memo));
}

// Asks about files as one view of the file system shows them.
class TViewProbe {
public:
    explicit TViewProbe(bool native) : native_(native) {}
    bool Exists(std::u16string_view path) const { return Remembered(path, 0, &FileOrFolderExists); }
    bool File(std::u16string_view path) const {
        // Where nothing at all is at a path no file is either (the same
        // system answer makes both false): a missing path judged once need
        // not be looked up again for the file question.
        if (tMemo) {
            auto known = tMemo->answers[0][Side(path)].Find(path);
            if (known && !*known) return false;
        }
        return Remembered(path, 1, &FileOrUndecided);
    }

private:
    // Which view's answers hold the path's: a path both views see alike
    // is asked once for both.
    int Side(std::u16string_view path) const { return native_ && !SameInBothViews(path, *tMemo) ? 1 : 0; }
    bool Remembered(std::u16string_view path, int which, bool (*question)(std::u16string_view)) const {
        if (!tMemo) return Ask(path, question);
        auto& answers = tMemo->answers[which][Side(path)];
        if (auto known = answers.Find(path)) return *known;
        const bool answer = Ask(path, question);
        answers.Add(path, answer);
        return answer;
    }
    bool Ask(std::u16string_view path, bool (*question)(std::u16string_view)) const {
        if (!native_) return question(path);
        platform::TRedirectionOff off;
        return question(path);
    }
    bool native_;
};

// Where process creation finds the program of an unquoted command line:
// the shortest text ending at a blank, or the whole line, that names a
// file, ".exe" tried after a name without extension. npos when none does.
std::size_t ProgramEnd(std::u16string_view line, const TViewProbe& probe) {
    for (std::size_t end = 1; end <= line.size(); ++end) {
        if (end < line.size() && !IsBlank(line[end])) continue;
        if (IsBlank(line[end - 1])) continue;
        std::u16string candidate(line.substr(0, end));
        if (probe.File(candidate) || (!HasExtension(candidate) && probe.File(candidate + u".exe"))) return end;
    }
    return std::u16string_view::npos;
}

// Whether rundll32 finds the library: a bare name as the loader searches
// it (".dll" added when it has no extension), a drive path where it
// points. Anything else cannot be decided here and counts as found.
bool LibraryFound(std::u16string_view library, const TViewProbe& probe) {
    if (library.empty()) return true;
    if (library.find_first_of(u"\\/:") == std::u16string_view::npos) {
        std::u16string name(library);
        if (!HasExtension(name)) name += u".dll";
        for (bool windowsFolder : {false, true}) {
            auto folder = SystemFolderPath(windowsFolder);
            if (!folder.empty() && probe.File(folder + u"\\" + name)) return true;
        }
        return false;
    }
    if (library.size() < 3 || library[1] != u':' || library[2] != u'\\') return true;
    return !DriveCanBeJudged(library) || probe.File(library);
}

}  // namespace

bool InEitherView(std::u16string_view path, bool (*exists)(std::u16string_view)) {
    // The question every judgement asks is remembered with their answers.
    if (tMemo && exists == &PathExists) {
        if (TViewProbe(false).Exists(path)) return true;
        platform::TRedirectionOff native;
        return native.ok() && TViewProbe(true).Exists(path);
    }
    if (exists(path)) return true;
    platform::TRedirectionOff native;
    return native.ok() && exists(path);
}

bool TPathJudge::IsMissing(std::u16string_view text, View view) const {
    const TViewProbe probe(view == View::Native);
    auto exists = [&probe](std::u16string_view path) { return probe.Exists(path); };

    std::u16string expanded = ExpandEnvVars(Trim(text));
    if (!MayHoldDrivePath(expanded)) return false;
    auto drivePath = FWindowsPathRegEx.MatchAnsi(expanded);
    if (!drivePath) return false;
    if (exists(expanded)) return false;

    std::u16string path(drivePath->Text(std::u16string_view(expanded), 1));
    auto bottom = FDeleteBottomPartRegEx.MatchAnsi(path);
    if (bottom && bottom->Length(0) > 0) {
        // Every occurrence in the original text, left to right; what the
        // removal joins together is not searched again.
        std::u16string suffix(bottom->Text(std::u16string_view(path), 0));
        std::u16string kept;
        std::size_t from = 0;
        for (std::size_t at = path.find(suffix); at != std::u16string::npos; at = path.find(suffix, from)) {
            kept.append(path, from, at - from);
            from = at + suffix.size();
        }
        kept.append(path, from, std::u16string::npos);
        path = std::move(kept);
    }
    if (exists(Trim(path))) return false;

    // Cut as above, a command line with arguments names no file. Read it as
    // process creation does: it fails only when no program is found, and a
    // rundll32 line also when rundll32 cannot find its library, which is
    // the error shown at log-on.
    auto line = std::u16string_view(expanded).substr(drivePath->Start(1));
    auto programEnd = ProgramEnd(line, probe);
    // Asked last: only what would be reported pays for the question.
    if (programEnd == std::u16string_view::npos) return DriveCanBeJudged(line);
    if (!IsRundll(Trim(line.substr(0, programEnd)))) return false;
    return !LibraryFound(LibraryArgument(line.substr(programEnd)), probe);
}

bool TPathJudge::IsPathInvalid(std::u16string_view text, const TUserVariables& owner) const {
    auto own = owner.Apply(text);
    return own && IsPathInvalid(*own);
}

bool TPathJudge::IsPathInvalid(std::u16string_view text) const {
    // Without a reference the text is judged as it is written (expansion
    // only trims it, or cuts it at a NUL or a length limit, none of which
    // makes a drive path), so text that cannot hold one needs no lookup.
    if (text.find(u'%') == std::u16string_view::npos && !MayHoldDrivePath(text)) return false;
    auto* memo = tMemo;
    if (!memo) return Judge(text);
    if (auto known = memo->judged.Find(text)) return *known;
    const bool answer = Judge(text);
    if (memo->judged.Chars() < TPathMemoScope::State::kMaxJudgedChars) memo->judged.Add(text, answer);
    return answer;
}

bool TPathJudge::Judge(std::u16string_view text) const {
    if (!IsMissing(text, View::Process)) return false;
    {
        // Only a WOW64 process has a second view to consult.
        platform::TRedirectionOff probe;
        if (!probe.ok()) return true;
    }
    return IsMissing(WithNativeProgramFolders(text), View::Native);
}

}  // namespace scan
