// Deciding whether text read from the registry names a file or folder on a
// local drive that is not there.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "scan/Regex.h"
#include "scan/UserVariables.h"

namespace scan {

// Expands every %NAME% of a defined environment variable, then trims
// characters up to and including the space from both ends. Undefined
// references stay as written.
std::u16string ExpandEnvVars(std::u16string_view text);

// Puts `replace(NAME)` in place of every %NAME% reference, the references
// paired left to right as the system pairs them; the text outside them is
// kept. nullopt as soon as `replace` answers nullopt.
std::optional<std::u16string> RewriteReferences(
    std::u16string_view text, const std::function<std::optional<std::u16string>(std::u16string_view)>& replace);

// Whether a file (not a folder) of that name exists. Names of two
// characters or fewer, and names starting with "A" or "B" (the floppy
// drives, never touched), are false without asking the system. Links count
// only when their target opens; a file held open by another program counts.
bool SafeFileExists(std::u16string_view path);
// Whether a folder of that name exists, with the same guards. When the
// system cannot say (a drive that is not ready, access denied) the folder
// counts as present.
bool SafeDirectoryExists(std::u16string_view path);

// False when nothing can be known about what a drive path names: its drive
// letter is not on the machine now (an unplugged stick, an unmapped network
// drive), or it is a floppy drive (A:, B:), which is never looked at. True
// for every other text.
bool DriveCanBeJudged(std::u16string_view path);

// SafeFileExists(path) || SafeDirectoryExists(path), asking the system once.
bool PathExists(std::u16string_view path);

// Asks `exists` about the path as this process sees it and, where WOW64
// hides part of the file system from it (the 64-bit System32), once more as
// a 64-bit program sees it: a file there is not missing.
bool InEitherView(std::u16string_view path, bool (*exists)(std::u16string_view));

// While one lives on a thread, the judgements of that thread remember what
// they learnt about each path (and whether each drive can be judged), so
// that a path named by a hundred registrations is looked up once: a scan
// holds one for its whole run. Every other thread, and every later scan,
// asks the system again; so does the fix step.
class TPathMemoScope {
public:
    TPathMemoScope();
    ~TPathMemoScope();
    TPathMemoScope(const TPathMemoScope&) = delete;
    TPathMemoScope& operator=(const TPathMemoScope&) = delete;

    struct State;

private:
    std::unique_ptr<State> state_;
    State* previous_;
};

// The judgement every scanner applies to registry text. Owns its three
// expressions, compiled once. A compiled expression keeps no match state,
// so the judge may be used from any thread.
class TPathJudge {
public:
    TPathJudge();

    // True when the text begins with a drive path whose file or folder does
    // not exist. A text that names nothing as a whole or cut at its switches
    // is read as an unquoted command line, the way process creation reads
    // it: missing only when no program is found at any blank (".exe" tried
    // too), or, for rundll32, when the library it is told to load is not
    // found. On 64-bit Windows a path counts as missing only when it is
    // missing both as this 32-bit process sees it (System32 redirected, the
    // x86 program folders) and as a 64-bit program sees it: registrations of
    // 64-bit software are not broken just because WOW64 hides their files.
    // A path whose drive cannot be judged now is never missing.
    bool IsPathInvalid(std::u16string_view text) const;
    // The same for a text of another user's hive: that user's variables
    // are put in first, and a text using a per-user variable whose value
    // for that user is unknown is never missing.
    bool IsPathInvalid(std::u16string_view text, const TUserVariables& owner) const;

    const TRegex& WindowsPathRegEx() const { return FWindowsPathRegEx; }
    const TRegex& ExtractQuoutedRegEx() const { return FExtractQuoutedRegEx; }
    const TRegex& DeleteBottomPartRegEx() const { return FDeleteBottomPartRegEx; }

private:
    enum class View { Process, Native };
    bool Judge(std::u16string_view text) const;
    bool IsMissing(std::u16string_view text, View view) const;

    TRegex FWindowsPathRegEx;
    TRegex FExtractQuoutedRegEx;
    TRegex FDeleteBottomPartRegEx;
};

}  // namespace scan
