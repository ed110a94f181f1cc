// Under Windows (Wine): in every shipped language each text of the wizard
// fits its control at the font the real window gives that control, and each
// language's pages are saved as pictures for a person to look at
// (shots/languages/<language>-<page>.bmp in the build folder).
// The program's headers declare the Win32 subset themselves: before <windows.h>.
#include "LanguagesTestSupport.h"
#include "app/MainFormUnit.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"
#include "support/SeamTest.h"
#include "ui/Synchronize.h"
#include "ui/win32/Win32App.h"

#include "support/WizardWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A widget with its box in client coordinates and the page it is on (-1:
// the window's strip and buttons, shown with every page).
struct TPlaced {
    ui::TWidget* Widget;
    RECT Box;
    int Page;
};

void Place(ui::TWidget& parent, int x, int y, int page, std::vector<TPlaced>& out) {
    int index = 0;
    for (const auto& child : parent.Children()) {
        const ui::TBounds& b = child->Bounds();
        int cx = x + b.Left, cy = y + b.Top;
        int p = child->Kind() == ui::TWidgetKind::Page ? index : page;
        out.push_back({child.get(), {cx, cy, cx + b.Width, cy + b.Height}, p});
        Place(*child, cx, cy, p, out);
        ++index;
    }
}

struct TFindChild {
    POINT At;
    std::wstring Text;
    HWND Found = nullptr;
};

BOOL CALLBACK FindChildProc(HWND h, LPARAM lp) {
    auto* find = reinterpret_cast<TFindChild*>(lp);
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    wchar_t text[1024] = {};
    GetWindowTextW(h, text, 1024);
    if (r.left == find->At.x && r.top == find->At.y && find->Text == text) {
        find->Found = h;
        return FALSE;
    }
    return TRUE;
}

// The control the window made for a widget: at its place, with its text.
HWND ControlOf(HWND form, const TPlaced& placed) {
    TFindChild find{{placed.Box.left, placed.Box.top}, W(placed.Widget->Caption())};
    EnumChildWindows(form, FindChildProc, reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

// The text's extent at the control's font: one line, or wrapped at `width`.
RECT Measure(HWND control, const std::u16string& text, int width) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, width, 0};
    UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, W(text), -1, &r, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return r;
}

bool Intersect(const RECT& a, const RECT& b) {
    RECT r;
    return IntersectRect(&r, &a, &b) != FALSE;
}

// Every text control of the form: a button's text within the button, a
// wrapping label's within its box, a one-line label's within the control
// (which grows to it) and the window; and no text running into anything
// shown on the same page, measured where the text ends, not where the
// design's boxes do (those overlap by design).
std::vector<std::string> Misfits(HWND form, ui::TWidget& root) {
    std::vector<TPlaced> placed;
    Place(root, 0, 0, -1, placed);
    RECT client;
    GetClientRect(form, &client);
    std::vector<std::string> out;
    std::vector<std::pair<const TPlaced*, RECT>> occupied;
    for (const auto& p : placed) {
        ui::TWidget& w = *p.Widget;
        auto kind = w.Kind();
        if (kind == ui::TWidgetKind::Picture || kind == ui::TWidgetKind::CheckList) occupied.emplace_back(&p, p.Box);
        bool button = kind == ui::TWidgetKind::Button;
        if (w.Caption().empty() || (!button && kind != ui::TWidgetKind::Label && kind != ui::TWidgetKind::LinkLabel))
            continue;
        std::string name = text::ToUtf8(w.Name()) + " \"" + text::ToUtf8(w.Caption()) + "\"";
        HWND control = ControlOf(form, p);
        if (!control) {
            out.push_back(name + ": no control shows it");
            continue;
        }
        int width = p.Box.right - p.Box.left, height = p.Box.bottom - p.Box.top;
        auto size = [](const RECT& r) { return std::to_string(r.right) + "x" + std::to_string(r.bottom) + " px"; };
        if (button) {
            // The frame and the focus rectangle take about 6 pixels a side.
            RECT r = Measure(control, w.Caption(), 0);
            if (r.right + 12 > width) out.push_back(name + ": " + size(r) + " in a " + std::to_string(width) + " px button");
            occupied.emplace_back(&p, p.Box);
            continue;
        }
        bool oneLine = height <= 15;
        RECT r = Measure(control, w.Caption(), oneLine ? 0 : width);
        if (oneLine) {
            RECT shown;
            GetClientRect(control, &shown);
            if (r.right > shown.right) out.push_back(name + ": " + size(r) + ", cut at " + std::to_string(shown.right) + " px");
        } else if (r.right > width || r.bottom > height) {
            out.push_back(name + ": needs " + size(r) + ", has " + std::to_string(width) + "x" + std::to_string(height));
        }
        RECT text{p.Box.left, p.Box.top, p.Box.left + r.right, p.Box.top + r.bottom};
        if (text.right > client.right - 8) out.push_back(name + ": runs to " + std::to_string(text.right) + " px, past the window's edge");
        occupied.emplace_back(&p, text);
    }
    for (std::size_t i = 0; i < occupied.size(); ++i)
        for (std::size_t j = i + 1; j < occupied.size(); ++j) {
            const TPlaced& a = *occupied[i].first;
            const TPlaced& b = *occupied[j].first;
            bool together = a.Page == b.Page || a.Page == -1 || b.Page == -1;
            bool samePlace = a.Box.left == b.Box.left && a.Box.top == b.Box.top;  // Next and Finish take turns
            if (together && !samePlace && Intersect(occupied[i].second, occupied[j].second))
                out.push_back(text::ToUtf8(a.Widget->Name()) + " and " + text::ToUtf8(b.Widget->Name()) + " overlap");
        }
    return out;
}

// The window's client area as the screen shows it, as a 24-bit bottom-up
// BMP file. The frame is left out: under Xvfb no window manager draws it,
// and the picture would show a black band where Windows shows the caption.
void SaveShot(HWND form, const std::string& file) {
    RECT r;
    GetClientRect(form, &r);
    MapWindowPoints(form, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    int stride = ((w * 3) + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * h);
    GetDIBits(mem, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

TEST(LanguageFit, EveryTextFitsItsControlInEveryLanguage) {
    // The shipped files where the process's language manager can register
    // them, as the program registers those beside it.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::u16string folder = reinterpret_cast<const char16_t*>(temp) + std::u16string(u"tallowmend-lang-fit");
    CreateDirectoryW(W(folder), nullptr);
    for (const auto& lang : langtest::kShipped) {
        std::u16string file = folder + u"\\" + text::FromUtf8(lang.File);
        testsupport::WriteFile(file, langtest::ReadShipped(lang.File));
        ASSERT_TRUE(i18n::LangManager().RegisterLangFile(file));
    }

    auto application = ui::CreateWin32Application();
    app::TMainForm form(*application, [](app::TMainForm&) {});
    std::vector<std::pair<std::string, std::vector<std::string>>> results;
    std::atomic<bool> shown{false};
    std::thread driver([&] {
        auto onUi = [](const std::function<void()>& call) { ui::MainSyncTarget()->Synchronize(call); };
        HWND hwnd = testsupport::WaitForWizardWindow();
        if (!hwnd) {
            onUi([&application] { application->Terminate(); });
            return;
        }
        shown = true;
        std::vector<std::pair<std::string, os::LANGID>> languages{{"English", 1033}};
        for (const auto& lang : langtest::kShipped) {
            std::string name = lang.File;
            languages.emplace_back(name.substr(0, name.find('.')), lang.Id);
        }
        for (const auto& [name, id] : languages) {
            onUi([id = id] { i18n::LangManager().SetLanguageID(id); });
            results.emplace_back(name, Misfits(hwnd, form.Form()));
            for (auto [page, label] : {std::pair{app::TMainForm::pgDefault, "1-welcome"},
                                       std::pair{app::TMainForm::pgSuccess, "3-success"},
                                       std::pair{app::TMainForm::pgFailed, "4-failed"}}) {
                onUi([&form, page = page] { form.Notebook->SetActivePage(page); });
                onUi([hwnd] { RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW); });
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                SaveShot(hwnd, std::string(TALLOWMEND_LANG_SHOTS_DIR) + "/" + name + "-" + label + ".bmp");
            }
        }
        onUi([&form] {
            i18n::LangManager().SetLanguageID(1033);
            form.Notebook->SetActivePage(app::TMainForm::pgDefault);
        });
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    });
    application->Run(form.Form());
    driver.join();

    ASSERT_TRUE(shown) << "the wizard window did not appear";
    ASSERT_EQ(results.size(), 1 + std::size(langtest::kShipped));
    for (const auto& [name, misfits] : results)
        for (const auto& m : misfits) ADD_FAILURE() << name << ": " << m;
}

}  // namespace
