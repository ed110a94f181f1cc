// Language files beside the program: registration, language selection and
// the form's controller, over real files (emulated drive natively, the
// prefix's drive C: under Wine).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "StreamBuilder.h"
#include "i18n/FormLangData.h"
#include "i18n/LangError.h"
#include "i18n/LanguageController.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"
#include "support/SeamTest.h"

namespace i18n {
namespace {

class FakeComponent : public ILangComponent {
public:
    std::map<std::u16string, std::u16string> props;
    std::map<std::u16string, FakeComponent*> children;
    int writes = 0;

    std::optional<std::u16string> GetLangProperty(std::u16string_view property) override {
        auto it = props.find(std::u16string(property));
        if (it == props.end()) return std::nullopt;
        return it->second;
    }
    void SetLangProperty(std::u16string_view property, std::u16string_view value) override {
        auto it = props.find(std::u16string(property));
        if (it == props.end()) return;
        it->second = value;
        ++writes;
    }
    ILangComponent* FindLangComponent(std::u16string_view name) override {
        for (auto& [n, c] : children)
            if (text::EqualNoCase(n, name)) return c;
        return nullptr;
    }
};

class FakeForm : public FakeComponent, public ILangForm {
public:
    std::optional<std::u16string> GetLangProperty(std::u16string_view p) override {
        return FakeComponent::GetLangProperty(p);
    }
    void SetLangProperty(std::u16string_view p, std::u16string_view v) override {
        FakeComponent::SetLangProperty(p, v);
    }
    ILangComponent* FindLangComponent(std::u16string_view n) override { return FakeComponent::FindLangComponent(n); }
    std::u16string LangFormName() const override { return u"MainForm"; }
};

// Two nodes with properties, one without, one whose component is gone.
std::vector<std::uint8_t> SmallLangData() {
    testing::StreamBuilder b;
    auto name = [&](const std::string& s) { b.Word(static_cast<std::uint16_t>(s.size())); for (char c : s) b.Byte(static_cast<std::uint8_t>(c)); };
    name("MainForm");
    b.Byte(1).Int32(1).Int32(1);
    name("Caption");
    b.Byte(1).Int32(4);
    name("Label1");
    b.Byte(1).Int32(1).Int32(7);
    name("Caption");
    b.Byte(0);
    name("LinkLabel1");
    b.Byte(1).Int32(2).Int32(30);
    name("Caption");
    b.Int32(31);
    name("Text");
    b.Byte(0);
    name("Image1");
    b.Byte(0).Byte(0);
    name("Removed");
    b.Byte(1).Int32(1).Int32(99);
    name("Caption");
    b.Byte(0);
    return b.bytes;
}

class LanguageFiles : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        manager = std::make_unique<TLanguageManager>(testing::StreamBuilder::Table(
            3, {{u"Empty_key", u"Empty key"}, {u"Warning", u"Warning"}}));
        form.props = {{u"Caption", u"Tallowmend"}};
        label.props = {{u"Caption", u"Welcome to Tallowmend"}};
        link.props = {{u"Caption", u"https://example.invalid/support/"}, {u"Text", u"--"}};
        form.children = {{u"Label1", &label}, {u"LinkLabel1", &link}, {u"Image1", &image}};
    }

    std::u16string Write(const std::u16string& name, const std::string& content) {
        auto path = ScratchFolder() + u"\\" + name;
        testsupport::WriteFile(path, content);
        return path;
    }

    std::unique_ptr<TLanguageManager> manager;
    FakeForm form;
    FakeComponent label, link, image;
};

TEST_F(LanguageFiles, RegistersFilesByTheirLanguageId) {
    Write(u"ru.lng", "LANGID=1049\r\n[MainForm]\r\n1=Russian\r\n");
    Write(u"en.lng", "LANGID=1033\r\n");
    Write(u"none.lng", "; no language\r\nName=x\r\n");
    Write(u"other.txt", "LANGID=1031\r\n");
    os::CreateDirectoryW((ScratchFolder() + u"\\folder.lng").c_str(), nullptr);
    Write(u"folder.lng\\de.lng", "LANGID=1031\r\n");

    EXPECT_EQ(manager->ScanForLangFiles(ScratchFolder(), u"*.lng", false), 2);
    auto resources = manager->LangResources();
    ASSERT_EQ(resources.size(), 1u);
    EXPECT_EQ(resources[0].wLangID, 1049);
    EXPECT_EQ(resources[0].Kind, TLangResourceKind::lrkFile);
    EXPECT_TRUE(text::EqualNoCase(resources[0].wsName, ScratchFolder() + u"\\ru.lng"));
    EXPECT_EQ(manager->LanguageID(), 1033);
    EXPECT_EQ(manager->GetConstantValue(u"Empty_key"), u"Empty key");

    // Recursion enters folders matching the mask, which are files to nobody else.
    EXPECT_EQ(manager->ScanForLangFiles(ScratchFolder() + u"\\", u"*.lng", true), 3);
    EXPECT_EQ(manager->LangResources().size(), 2u);
    EXPECT_FALSE(manager->RegisterLangFile(ScratchFolder() + u"\\missing.lng"));
}

TEST_F(LanguageFiles, SameLanguageTwiceKeepsTheFileEnumeratedLast) {
    Write(u"a.lng", "LANGID=1049\r\n");
    Write(u"b.lng", "LANGID=1049\r\n");
    // Whatever order the file system lists them in.
    std::u16string last;
    os::WIN32_FIND_DATAW data{};
    auto find = os::FindFirstFileW((ScratchFolder() + u"\\*.lng").c_str(), &data);
    ASSERT_NE(find, os::INVALID_HANDLE_VALUE);
    do last = data.cFileName;
    while (os::FindNextFileW(find, &data));
    os::FindClose(find);

    EXPECT_EQ(manager->ScanForLangFiles(ScratchFolder(), u"*.lng", false), 2);
    ASSERT_EQ(manager->LangResources().size(), 1u);
    EXPECT_TRUE(text::EqualNoCase(manager->LangResources()[0].wsName, ScratchFolder() + u"\\" + last));
}

TEST_F(LanguageFiles, AnUnreadableFileEndsTheScanWithItsError) {
    Write(u"bad.lng", "LANGID=1049\r\n[$CONSTANTS]\r\n1=x\r\n");
    EXPECT_TRUE(manager->RegisterLangFile(ScratchFolder() + u"\\bad.lng"));  // parameters only
    try {
        manager->SetLanguageID(1049);
        ADD_FAILURE() << "a broken translation was loaded";
    } catch (const ELangError& e) {
        EXPECT_EQ(e.Message(), u"Loading translations failed.\r\nLine 2: Invalid constant name (\"1\")");
    }
    EXPECT_EQ(manager->LanguageID(), 1033);
    EXPECT_EQ(manager->GetConstantValue(u"Empty_key"), u"Empty key");
}

TEST_F(LanguageFiles, ControllerBindsByNameAndRecordsOnlyTextsWithLetters) {
    link.props[u"Text"] = u"-- 42 --";  // no letter: not translatable
    TLanguageController controller(form, *manager);
    controller.LoadLangData(SmallLangData());
    controller.Loaded();

    const auto& root = controller.RootEntry();
    EXPECT_EQ(root.FComponent, static_cast<ILangComponent*>(static_cast<ILangForm*>(&form)));
    ASSERT_EQ(root.FOwnedCompEntries.size(), 3u);  // "Removed" dropped
    for (const auto& child : root.FOwnedCompEntries) EXPECT_NE(child->FName, u"Removed");
    const auto& linkEntry = *root.FOwnedCompEntries[1];
    ASSERT_EQ(linkEntry.FPropEntries.size(), 2u);
    EXPECT_TRUE(linkEntry.FPropEntries[0].bValidated);
    EXPECT_EQ(linkEntry.FPropEntries[0].wsDefLangValue, u"https://example.invalid/support/");
    EXPECT_FALSE(linkEntry.FPropEntries[1].bValidated);
}

TEST_F(LanguageFiles, SelectingALanguageTranslatesConstantsAndTheFormAndBack) {
    Write(u"ru.lng",
          "LANGID=1049\r\n[$CONSTANTS]\r\nEmpty_key=Pusto\\tklyuch\r\nUnknown_here=x\r\n"
          "[mainform]\r\n1=Zagolovok\r\n7=Dobro\\npozhalovat\r\n31=ignored: not recorded\r\n");
    ASSERT_EQ(manager->ScanForLangFiles(ScratchFolder(), u"*.lng", false), 1);
    TLanguageController controller(form, *manager);
    controller.LoadLangData(SmallLangData());
    controller.Loaded();
    int changing = 0, changed = 0;
    controller.FOnLanguageChanging = [&] { ++changing; };
    controller.FOnLanguageChanged = [&] { ++changed; };

    manager->SetLanguageID(1033);  // already the language: nothing happens
    EXPECT_EQ(changing + form.writes + label.writes, 0);

    manager->SetLanguageID(1049);
    EXPECT_EQ(manager->LanguageID(), 1049);
    EXPECT_EQ(manager->GetConstantValue(u"EMPTY_KEY"), u"Pusto\tklyuch");
    EXPECT_EQ(manager->GetConstantValue(u"Warning"), u"Warning");
    EXPECT_EQ(form.props[u"Caption"], u"Zagolovok");
    EXPECT_EQ(label.props[u"Caption"], u"Dobro\r\npozhalovat");
    EXPECT_EQ(link.props[u"Text"], u"--");
    EXPECT_EQ(link.props[u"Caption"], u"https://example.invalid/support/");
    EXPECT_EQ(changing, 1);
    EXPECT_EQ(changed, 1);

    // A second controller made while the language is not the default gets
    // it applied on load.
    FakeForm second;
    second.props = {{u"Caption", u"Tallowmend"}};
    {
        TLanguageController late(second, *manager);
        late.LoadLangData(SmallLangData());
        late.Loaded();
        EXPECT_EQ(second.props[u"Caption"], u"Zagolovok");
    }

    manager->SetLanguageID(1033);
    EXPECT_EQ(manager->GetConstantValue(u"Empty_key"), u"Empty key");
    EXPECT_EQ(form.props[u"Caption"], u"Tallowmend");
    EXPECT_EQ(label.props[u"Caption"], u"Welcome to Tallowmend");
    EXPECT_EQ(second.props[u"Caption"], u"Zagolovok");  // its controller is gone
}

TEST(FormLangData, GeneratedLayoutListsTheFormsTranslatableProperties) {
    auto root = ReadLangData(MainFormLangData());
    EXPECT_EQ(root->FName, u"MainForm");
    ASSERT_EQ(root->FPropEntries.size(), 1u);
    EXPECT_EQ(root->FPropEntries[0].iID, 1);
    std::map<int, std::u16string> ids;
    for (const auto& child : root->FOwnedCompEntries) {
        EXPECT_EQ(child->FOwner, root.get());
        for (const auto& prop : child->FPropEntries) {
            EXPECT_TRUE(ids.emplace(prop.iID, child->FName + u"." + prop.wsPropName).second) << prop.iID;
        }
    }
    EXPECT_EQ(ids.size(), 22u);
    EXPECT_EQ(ids[31], u"LinkLabel1.Text");
    EXPECT_EQ(ids[61], u"ResultsListBox.Items");
    EXPECT_EQ(ids[63], u"LinkLabel2.Text");
}

TEST(FormLangData, DamagedLayoutsAreReadErrors) {
    auto full = SmallLangData();
    for (std::size_t size = 0; size < full.size(); ++size) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(ReadLangData(cut), ELangError) << size;
    }
    // Nesting beyond any real form.
    testing::StreamBuilder deep;
    for (int i = 0; i < 100; ++i) deep.Word(1).Byte('n').Byte(0).Byte(1).Int32(1);
    EXPECT_THROW(ReadLangData(deep.bytes), ELangError);
}

}  // namespace
}  // namespace i18n
