// The constants table the program ships, as LangConst serves it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "i18n/LangError.h"
#include "i18n/LanguageManager.h"
#include "platform/Text.h"

namespace i18n {
namespace {

TEST(BuiltInConstants, ResourceHoldsTheThirteenConstants) {
    EXPECT_EQ(LangManager().ConstantCount(), 13u);
    EXPECT_EQ(LangManager().LanguageID(), 1033);
    EXPECT_EQ(LangManager().DefaultLanguageID(), 1033);
}

TEST(BuiltInConstants, NamesCompareWithoutCase) {
    EXPECT_EQ(LangConst(u"empty_key"), u"Empty key");
    EXPECT_EQ(LangConst(u"EMPTY_KEY"), u"Empty key");
    EXPECT_EQ(LangConst(u"Compromised_reg_key"), u"Compromised registry key");
    EXPECT_EQ(LangConst(u"Registry_str_data"), u"Registry string data");
}

TEST(BuiltInConstants, FormattedLookups) {
    EXPECT_EQ(LangConstFmt(u"Reg_value_desc", {u"name", u"HKEY_CURRENT_USER", u"Software\\X"}),
              u"Value \"name\" at HKEY_CURRENT_USER\\Software\\X");
    // A data finding's reason must never fail its lookup, whatever the data.
    EXPECT_EQ(LangConstFmt(u"Invalid_data_", {u"C:\\Missing\\x.dll,0 %s"}), u"Invalid data: C:\\Missing\\x.dll,0 %s");
}

TEST(BuiltInConstants, UnknownNameFailsOnEitherThreadAndLeavesTheLockFree) {
    auto expectNotFound = [] {
        try {
            LangConst(u"No_such_constant");
            ADD_FAILURE() << "lookup of an unknown name succeeded";
        } catch (const ELangError& e) {
            EXPECT_EQ(e.Message(), u"Constant \"No_such_constant\" not found");
        }
    };
    expectNotFound();
    std::thread worker(expectNotFound);
    worker.join();
    // A writer would wait forever on a leaked read lock.
    LangManager().SetLanguageID(1033);
    EXPECT_EQ(LangConst(u"Warning"), u"Warning");
}

TEST(BuiltInConstants, LookupsFromTwoThreadsWhileTextsAreReapplied) {
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::thread worker([&] {
        while (!stop)
            if (LangConst(u"Empty_key") != u"Empty key") ++wrong;
    });
    for (int i = 0; i < 2000; ++i) LangManager().ApplyTranslations(nullptr);
    stop = true;
    worker.join();
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace i18n
