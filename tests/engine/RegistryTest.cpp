#include "engine/Registry.h"

#include <QSettings>
#include <gtest/gtest.h>

using namespace plyfold;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        user().clear();
        machine().clear();
    }
    static QSettings& user() {
        static QSettings s(QSettings::UserScope, "Tessarine", "Plyfold");
        return s;
    }
    static QSettings& machine() {
        static QSettings s(QSettings::SystemScope, "Tessarine", "Plyfold");
        return s;
    }
};

TEST_F(RegistryTest, ProfileReadsFallBackToDefaults) {
    EXPECT_EQ(GetProfileInt("Options", "PageSize", 10), 10);
    EXPECT_EQ(GetProfileString("Options", "LastFolder", "none"), "none");

    user().setValue("Options/PageSize", "twelve");
    user().setValue("Options/LastFolder", QStringList{"a", "b"});
    user().sync();
    EXPECT_EQ(GetProfileInt("Options", "PageSize", 10), 10) << "malformed number";
    EXPECT_EQ(GetProfileString("Options", "LastFolder", "none"), "none") << "not a string";
    EXPECT_EQ(user().value("Options/PageSize").toString(), "twelve") << "reading writes nothing";

    ASSERT_TRUE(WriteProfileInt("Options", "PageSize", 13));
    ASSERT_TRUE(WriteProfileString("Options", "LastFolder", "/tmp/x y"));
    EXPECT_EQ(GetProfileInt("Options", "PageSize", 10), 13);
    EXPECT_EQ(GetProfileString("Options", "LastFolder"), "/tmp/x y");
    user().sync();
    EXPECT_EQ(user().value("Options/PageSize").toInt(), 13);
}

TEST_F(RegistryTest, MachineWideStringsAreReadOnlyAndTyped) {
    machine().setValue("UserName", "Ada Lovelace");
    machine().setValue("Seats", QVariant::fromValue(QStringList{"1", "2"}));
    machine().setValue("Empty", "");
    machine().sync();

    bool found = false;
    EXPECT_EQ(ReadRegString("Software\\Tessarine\\Plyfold", "UserName", &found), "Ada Lovelace");
    EXPECT_TRUE(found);
    EXPECT_EQ(ReadRegString("Software\\Tessarine\\Plyfold", "Seats", &found), "");
    EXPECT_FALSE(found) << "a value of another type is not a string";
    EXPECT_EQ(ReadRegString("Software\\Tessarine\\Plyfold", "Empty", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ReadRegString("Software\\Tessarine\\Plyfold", "CompanyName", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ReadRegString("Software\\Nobody\\Nothing", "UserName", &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ReadRegString("garbage", "UserName"), "");

    // A per-user value of the same name is not a machine-wide value.
    user().setValue("CompanyName", "Mine");
    user().sync();
    EXPECT_EQ(ReadRegString("Software\\Tessarine\\Plyfold", "CompanyName", &found), "");
    EXPECT_FALSE(found);
}

} // namespace
