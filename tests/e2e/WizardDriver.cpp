// Drives the running wizard from another process, the way a user would:
// finds its window, reads the texts of its controls, waits for buttons and
// clicks them, ticks list entries on and off, presses keys and answers its
// message boxes. One command per run, so the calling script can take a
// screenshot between steps.
// Every wait polls with a deadline; nothing here sleeps for correctness.
//
//   wizard_driver wait-window SECONDS
//   wizard_driver wait-text TEXT SECONDS        a showing control with this exact text
//   wizard_driver wait-enabled BUTTON SECONDS   a showing, enabled button
//   wizard_driver click BUTTON                  fails unless showing and enabled
//   wizard_driver expect-hidden TEXT            no showing control has this text
//   wizard_driver list                          the results list, one entry a line
//   wizard_driver toggle TEXT                   clicks the check box of the one entry containing TEXT
//   wizard_driver key enter|escape              a key press on the wizard window
//   wizard_driver wait-box TEXT SECONDS         a message box saying TEXT is open
//   wizard_driver answer yes|no|ok TEXT SECONDS waits for the message box saying TEXT
//   wizard_driver wait-closed SECONDS
//   wizard_driver show                          every control, for logs
//
// Exit status: 0 done, 1 failed or timed out (reason on stderr), 2 usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const wchar_t kWizardClass[] = L"TallowmendWizardWindow";
const wchar_t kTitle[] = L"Tallowmend";

struct TControl {
    HWND Handle;
    std::wstring Class;
    std::wstring Text;
    bool Showing;
    bool Enabled;
};

std::wstring ClassOf(HWND h) {
    wchar_t buf[64] = {};
    GetClassNameW(h, buf, 64);
    return buf;
}

std::wstring TextOf(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring s(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, s.data(), n + 1);
    s.resize(static_cast<size_t>(n > 0 ? n : 0));
    return s;
}

BOOL CALLBACK CollectTopLevel(HWND h, LPARAM lp) {
    auto* out = reinterpret_cast<std::vector<HWND>*>(lp);
    out->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> all;
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND FindWizard() {
    for (HWND h : TopLevelWindows())
        if (ClassOf(h) == kWizardClass && IsWindowVisible(h)) return h;
    return nullptr;
}

BOOL CALLBACK CollectChild(HWND h, LPARAM lp) {
    auto* out = reinterpret_cast<std::vector<TControl>*>(lp);
    out->push_back({h, ClassOf(h), TextOf(h), IsWindowVisible(h) != FALSE, IsWindowEnabled(h) != FALSE});
    return TRUE;
}

std::vector<TControl> Controls(HWND parent) {
    std::vector<TControl> all;
    if (parent) EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

bool IsClass(const TControl& c, const wchar_t* cls) { return _wcsicmp(c.Class.c_str(), cls) == 0; }

// Polls `probe` until it answers true or the deadline passes.
template <typename Probe>
bool WaitFor(double seconds, Probe probe) {
    ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    for (;;) {
        if (probe()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(50);
    }
}

const TControl* FindShowing(const std::vector<TControl>& controls, const std::wstring& text, const wchar_t* cls) {
    for (const auto& c : controls)
        if (c.Showing && c.Text == text && (!cls || IsClass(c, cls))) return &c;
    return nullptr;
}

int Fail(const wchar_t* what, const std::wstring& detail) {
    fwprintf(stderr, L"wizard_driver: %ls%ls\n", what, detail.c_str());
    return 1;
}

// The check list of the page on show (results, details or undo); the
// results list, hidden or not, on a page without one.
HWND ResultsList(HWND wizard) {
    HWND first = nullptr;
    for (const auto& c : Controls(wizard)) {
        if (!IsClass(c, L"ListBox")) continue;
        if (c.Showing) return c.Handle;
        if (!first) first = c.Handle;
    }
    return first;
}

std::vector<std::wstring> ListEntries(HWND list) {
    std::vector<std::wstring> entries;
    int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        int len = static_cast<int>(SendMessageW(list, LB_GETTEXTLEN, i, 0));
        if (len < 0) len = 0;
        std::wstring s(static_cast<size_t>(len) + 1, L'\0');
        len = static_cast<int>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data())));
        s.resize(static_cast<size_t>(len > 0 ? len : 0));
        entries.push_back(s);
    }
    return entries;
}

void PrintLine(const std::wstring& s) {
    // The calling script reads UTF-8.
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), bytes.data(), n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fputc('\n', stdout);
}

// A message box: a top-level dialog titled like the program, not the wizard.
HWND FindMessageBox() {
    for (HWND h : TopLevelWindows())
        if (ClassOf(h) == L"#32770" && IsWindowVisible(h) && TextOf(h) == kTitle) return h;
    return nullptr;
}

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    for (const auto& c : Controls(box))
        if (IsClass(c, L"Static") && GetDlgCtrlID(c.Handle) == 0xFFFF) text += c.Text;
    if (text.empty())
        for (const auto& c : Controls(box))
            if (IsClass(c, L"Static") && c.Text.size() > text.size()) text = c.Text;
    return text;
}

int Usage() {
    fwprintf(stderr, L"usage: wizard_driver COMMAND [ARGS] (see the source for the commands)\n");
    return 2;
}

int Run(const std::vector<std::wstring>& a) {
    if (a.empty()) return Usage();
    const std::wstring& cmd = a[0];
    auto seconds = [&](size_t i) { return i < a.size() ? _wtof(a[i].c_str()) : 30.0; };

    if (cmd == L"wait-window") {
        if (!WaitFor(seconds(1), [] { return FindWizard() != nullptr; }))
            return Fail(L"the wizard window did not appear", L"");
        return 0;
    }
    if (cmd == L"wait-closed") {
        if (!WaitFor(seconds(1), [] { return FindWizard() == nullptr; }))
            return Fail(L"the wizard window is still open", L"");
        return 0;
    }
    if (cmd == L"wait-text" && a.size() >= 2) {
        if (!WaitFor(seconds(2), [&] { return FindShowing(Controls(FindWizard()), a[1], nullptr) != nullptr; }))
            return Fail(L"no showing control reads: ", a[1]);
        return 0;
    }
    if (cmd == L"expect-hidden" && a.size() >= 2) {
        if (FindShowing(Controls(FindWizard()), a[1], nullptr)) return Fail(L"a showing control reads: ", a[1]);
        return 0;
    }
    if (cmd == L"wait-enabled" && a.size() >= 2) {
        bool ok = WaitFor(seconds(2), [&] {
            const TControl* b = FindShowing(Controls(FindWizard()), a[1], L"Button");
            return b && b->Enabled;
        });
        if (!ok) return Fail(L"no showing, enabled button: ", a[1]);
        return 0;
    }
    if (cmd == L"click" && a.size() >= 2) {
        auto controls = Controls(FindWizard());
        const TControl* b = FindShowing(controls, a[1], L"Button");
        if (!b) {
            // A link: a notifying label reports its click to the window.
            const TControl* link = FindShowing(controls, a[1], L"Static");
            if (!link) return Fail(L"no showing button or link: ", a[1]);
            if (!link->Enabled) return Fail(L"the link is disabled: ", a[1]);
            PostMessageW(GetParent(link->Handle), WM_COMMAND,
                         MAKEWPARAM(GetDlgCtrlID(link->Handle), STN_CLICKED), reinterpret_cast<LPARAM>(link->Handle));
            return 0;
        }
        if (!b->Enabled) return Fail(L"the button is disabled: ", a[1]);
        // Posted, not sent: the click may open a modal box, which would hold
        // a sent message until someone answers it.
        PostMessageW(b->Handle, BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == L"list") {
        HWND list = ResultsList(FindWizard());
        if (!list) return Fail(L"the wizard has no results list", L"");
        for (const auto& e : ListEntries(list)) PrintLine(e);
        return 0;
    }
    if (cmd == L"key" && a.size() >= 2) {
        HWND wizard = FindWizard();
        if (!wizard) return Fail(L"the wizard window is not open", L"");
        WPARAM key = a[1] == L"enter" ? VK_RETURN : a[1] == L"escape" ? VK_ESCAPE : 0;
        if (!key) return Usage();
        PostMessageW(wizard, WM_KEYDOWN, key, 1);
        PostMessageW(wizard, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
        return 0;
    }
    if (cmd == L"wait-text-start" && a.size() >= 3) {
        bool ok = WaitFor(seconds(2), [&] {
            for (const auto& c : Controls(FindWizard()))
                if (c.Showing && c.Text.compare(0, a[1].size(), a[1]) == 0) return true;
            return false;
        });
        if (!ok) return Fail(L"no showing control starts with: ", a[1]);
        for (const auto& c : Controls(FindWizard()))
            if (c.Showing && c.Text.compare(0, a[1].size(), a[1]) == 0) PrintLine(c.Text);
        return 0;
    }
    if ((cmd == L"toggle" || cmd == L"activate") && a.size() >= 2) {
        HWND list = ResultsList(FindWizard());
        if (!list) return Fail(L"the wizard has no results list", L"");
        auto entries = ListEntries(list);
        int index = -1;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].find(a[1]) == std::wstring::npos) continue;
            if (index >= 0) return Fail(L"more than one entry contains: ", a[1]);
            index = static_cast<int>(i);
        }
        if (index < 0) return Fail(L"no entry contains: ", a[1]);
        SendMessageW(list, LB_SETTOPINDEX, index, 0);
        RECT r{};
        if (SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r)) == LB_ERR)
            return Fail(L"cannot place entry: ", entries[static_cast<size_t>(index)]);
        if (cmd == L"activate") {
            // A double click on the entry's text, clear of its check box.
            LPARAM at = MAKELPARAM(r.left + 40, (r.top + r.bottom) / 2);
            PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
            PostMessageW(list, WM_LBUTTONUP, 0, at);
            PrintLine(entries[static_cast<size_t>(index)]);
            return 0;
        }
        // The check box is drawn at the entry's left edge.
        LPARAM at = MAKELPARAM(r.left + 6, (r.top + r.bottom) / 2);
        PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        PrintLine(entries[static_cast<size_t>(index)]);
        return 0;
    }
    if (cmd == L"wait-box" && a.size() >= 2) {
        bool ok = WaitFor(seconds(2), [&] {
            HWND box = FindMessageBox();
            return box && MessageBoxText(box).find(a[1]) != std::wstring::npos;
        });
        if (!ok) return Fail(L"no message box says: ", a[1]);
        return 0;
    }
    if (cmd == L"answer" && a.size() >= 3) {
        int id = a[1] == L"yes" ? IDYES : a[1] == L"no" ? IDNO : a[1] == L"ok" ? IDOK : 0;
        if (!id) return Usage();
        HWND box = nullptr;
        if (!WaitFor(seconds(3), [&] {
                box = FindMessageBox();
                return box && MessageBoxText(box).find(a[2]) != std::wstring::npos;
            }))
            return Fail(L"no message box says: ", a[2] + (box ? L" (one says: " + MessageBoxText(box) + L")" : L""));
        HWND button = GetDlgItem(box, id);
        if (!button) return Fail(L"the message box has no such button: ", a[1]);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (!WaitFor(seconds(3), [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
            return Fail(L"the message box stayed open", L"");
        return 0;
    }
    if (cmd == L"show") {
        HWND wizard = FindWizard();
        if (!wizard) return Fail(L"the wizard window is not open", L"");
        for (const auto& c : Controls(wizard)) {
            if (!c.Showing) continue;
            PrintLine(c.Class + (c.Enabled ? L"" : L" (disabled)") + L": " + c.Text);
        }
        return 0;
    }
    return Usage();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    int rc = Run(args);
    std::fflush(stdout);
    return rc;
}
