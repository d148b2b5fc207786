#include "RegistryFixture.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace console_test;

namespace {

class SettingsTest : public RegistryTest {};

TEST_F(SettingsTest, MissingKeyOrInstallPathRefusesStartUp)
{
    DeleteKeyTree(kSalvoraKey);
    ConsoleSettings settings;
    EXPECT_FALSE(settings.Load());

    ASSERT_TRUE(SetDword("ERDtimeout", 10));
    EXPECT_FALSE(settings.Load()) << "no InstallPath";

    ASSERT_TRUE(SetDword("InstallPath", 5));
    EXPECT_FALSE(settings.Load()) << "InstallPath of the wrong type";

    ASSERT_TRUE(SetString("InstallPath", std::string(300, 'x')));
    EXPECT_FALSE(settings.Load()) << "InstallPath too long for its buffer";

    ASSERT_TRUE(SetString("InstallPath", "C:\\Prog"));
    EXPECT_TRUE(settings.Load());
}

TEST_F(SettingsTest, DefaultsWhenValuesAreAbsent)
{
    ConsoleSettings settings;
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.InstallPath, "C:\\Prog");
    EXPECT_EQ(settings.HelpFilePath, "C:\\Prog\\Salvora.chm");
    EXPECT_EQ(settings.OutDir, "C:\\Prog\\%COMPUTERNAME%");
    EXPECT_EQ(settings.ERDtimeout, -3600);
    EXPECT_EQ(settings.MaxThreadNum, 100u);
    EXPECT_EQ(settings.MaxDeployThread, 16u);
    EXPECT_EQ(settings.ServerFilter, 0u);
    EXPECT_EQ(settings.AlwaysCopyFiles, 0u);
    EXPECT_EQ(settings.AlphaSupport, 0u);
    EXPECT_EQ(settings.LeaveAgent, 0u);
    EXPECT_EQ(settings.CheckRegQuota, 0u);
    EXPECT_EQ(settings.SaveHivesWithoutRdisk, 0u);
    EXPECT_TRUE(settings.AnnalixInstallPath.empty());
    // The default timeout, applied as an unsigned product: about 49.7 days.
    EXPECT_EQ(settings.TimeoutMilliseconds(), 4291367296u);

    ASSERT_TRUE(SetString("OutDir", ""));
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.OutDir, "C:\\Prog\\%COMPUTERNAME%");
}

TEST_F(SettingsTest, StoredValuesAreLoadedWithoutTypeTest)
{
    ASSERT_TRUE(SetDword("ERDtimeout", 600));
    ASSERT_TRUE(SetDword("AlwaysCopyFiles", 1));
    ASSERT_TRUE(SetDword("CheckRegQuota", 1));
    ASSERT_TRUE(SetDword("SaveHivesWithoutRdisk", 1));
    ASSERT_TRUE(SetDword("LeaveAgent", 1));
    ASSERT_TRUE(SetDword("MaxThreadNum", 7));
    ASSERT_TRUE(SetDword("MaxDeployThread", 1));
    uint32_t filter = 0x1234;
    ASSERT_TRUE(SetValue(kSettingsKeyPath, "ServerFilter", REG_BINARY, &filter, 4));
    uint8_t two[2] = {3, 0};
    ASSERT_TRUE(SetValue(kSettingsKeyPath, "AlphaSupport", REG_BINARY, two, 2));
    ASSERT_TRUE(SetString("OutDir", "D:\\ERD\\%COMPUTERNAME%"));
    ConsoleSettings settings;
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.ERDtimeout, 600);
    EXPECT_EQ(settings.TimeoutMilliseconds(), 600000u);
    EXPECT_EQ(settings.AlwaysCopyFiles, 1u);
    EXPECT_EQ(settings.CheckRegQuota, 1u);
    EXPECT_EQ(settings.SaveHivesWithoutRdisk, 1u);
    EXPECT_EQ(settings.LeaveAgent, 1u);
    EXPECT_EQ(settings.MaxThreadNum, 7u);
    EXPECT_EQ(settings.MaxDeployThread, 1u);
    EXPECT_EQ(settings.ServerFilter, 0x1234u) << "a 4-byte binary value is taken as it is";
    EXPECT_EQ(settings.AlphaSupport, 3u) << "a shorter value is widened";
    EXPECT_EQ(settings.OutDir, "D:\\ERD\\%COMPUTERNAME%");

    // Data of more than four bytes does not fit: the default stays.
    uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(SetValue(kSettingsKeyPath, "ERDtimeout", REG_BINARY, eight, 8));
    ASSERT_TRUE(settings.Load());
    EXPECT_EQ(settings.ERDtimeout, -3600);
}

TEST_F(SettingsTest, SaveWritesEveryValueButInstallPath)
{
    ConsoleSettings settings;
    ASSERT_TRUE(settings.Load());
    settings.ERDtimeout = -120;
    settings.OutDir = "E:\\Out\\%AA%";
    settings.AlphaSupport = 1;
    settings.MaxDeployThread = 4;
    settings.SaveHivesWithoutRdisk = 1;
    settings.InstallPath = "Z:\\Elsewhere";
    ASSERT_TRUE(settings.Save());

    uint32_t value = 0;
    ASSERT_TRUE(GetDword("ERDtimeout", value));
    EXPECT_EQ(static_cast<int32_t>(value), -120);
    for (const char* name : {"ServerFilter", "AlwaysCopyFiles", "MaxThreadNum", "AlphaSupport", "LeaveAgent", "CheckRegQuota",
                             "SaveHivesWithoutRdisk"})
        EXPECT_TRUE(GetDword(name, value)) << name;
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(GetValue("OutDir", type, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string("E:\\Out\\%AA%", 12)) << "text and its terminator";
    ASSERT_TRUE(GetValue("InstallPath", type, bytes));
    EXPECT_EQ(bytes, std::string("C:\\Prog", 8));

    ConsoleSettings again;
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.ERDtimeout, -120);
    EXPECT_EQ(again.OutDir, "E:\\Out\\%AA%");
    EXPECT_EQ(again.MaxDeployThread, 4u);
    EXPECT_EQ(again.SaveHivesWithoutRdisk, 1u);

    // A value that was switched on goes back to off when saved so; and a later Load of a
    // key without the value (an older installation) reads it as off again.
    again.SaveHivesWithoutRdisk = 0;
    ASSERT_TRUE(again.Save());
    ASSERT_TRUE(GetDword("SaveHivesWithoutRdisk", value));
    EXPECT_EQ(value, 0u);
    again.SaveHivesWithoutRdisk = 1;
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "SaveHivesWithoutRdisk"), ERROR_SUCCESS);
    ASSERT_TRUE(again.Load());
    EXPECT_EQ(again.SaveHivesWithoutRdisk, 0u);
}

TEST_F(SettingsTest, SaveAfterTheKeyVanishedWritesNothing)
{
    ConsoleSettings settings;
    ASSERT_TRUE(settings.Load());
    DeleteKeyTree(kSalvoraKey);
    EXPECT_FALSE(settings.Save());
    EXPECT_FALSE(KeyExists(kSettingsKeyPath)) << "the console never creates its key";
    LogSettings log;
    log.Load(settings);
    EXPECT_FALSE(log.Save(settings));
    EXPECT_FALSE(KeyExists(kSettingsKeyPath));
}

TEST_F(SettingsTest, TypedReaderRefusesWrongTypeAndOversizedData)
{
    ASSERT_TRUE(SetString("Text", "hello"));
    ASSERT_TRUE(SetDword("Number", 42));
    uint32_t number = 7;
    DWORD size = sizeof(number);
    EXPECT_FALSE(ReadSettingValue("Text", REG_DWORD, &number, &size));
    EXPECT_EQ(number, 7u);
    EXPECT_FALSE(ReadSettingValue("Absent", REG_DWORD, &number, &size));
    EXPECT_TRUE(ReadSettingValue("Number", REG_DWORD, &number, &size));
    EXPECT_EQ(number, 42u);

    char small[4] = {'a', 'b', 'c', 0};
    size = sizeof(small);
    EXPECT_FALSE(ReadSettingValue("Text", REG_SZ, small, &size));
    EXPECT_EQ(size, 6u) << "the size needed";
    EXPECT_STREQ(small, "abc") << "buffer untouched";
    char big[16] = {};
    size = sizeof(big);
    EXPECT_TRUE(ReadSettingValue("Text", REG_SZ, big, &size));
    EXPECT_STREQ(big, "hello");

    // A string without terminator that fills the whole buffer is not taken.
    std::string full(260, 'q');
    ASSERT_TRUE(SetValue(kSettingsKeyPath, "Full", REG_SZ, full.data(), 260));
    std::string text = "unchanged";
    EXPECT_FALSE(ReadSettingString("Full", text));
    EXPECT_EQ(text, "unchanged");
}

TEST_F(SettingsTest, LogSettingsDefaultsAndRejectedValues)
{
    ConsoleSettings console;
    ASSERT_TRUE(console.Load());
    LogSettings log;
    log.Load(console);
    EXPECT_STREQ(log.LogFileName, "C:\\Prog\\Salvora.log");
    EXPECT_EQ(log.LogOverwrite, 1u);
    EXPECT_EQ(log.LogFullErrorNo, 0u);
    EXPECT_EQ(log.LogWriteFile, 1u);
    EXPECT_EQ(log.NTAppLog, 0u);
    EXPECT_EQ(log.LogWriteAnnalix, 0u);
    EXPECT_EQ(log.DemandTaskExec, 0u);

    ASSERT_TRUE(SetString("LogFileName", std::string(299, 'L'))); // 300 bytes with terminator
    ASSERT_TRUE(SetString("LogOverwrite", "0"));
    ASSERT_TRUE(SetDword("LogFullErrorNo", 1));
    ASSERT_TRUE(SetDword("LogWriteFile", 0));
    ASSERT_TRUE(SetDword("NTAppLog", 1));
    log.Load(console);
    EXPECT_STREQ(log.LogFileName, "C:\\Prog\\Salvora.log");
    EXPECT_EQ(log.LogOverwrite, 1u) << "a REG_SZ is ignored";
    EXPECT_EQ(log.LogFullErrorNo, 1u);
    EXPECT_EQ(log.LogWriteFile, 0u);
    EXPECT_EQ(log.NTAppLog, 1u);

    ASSERT_TRUE(SetString("LogFileName", "D:\\Logs\\run.log"));
    log.Load(console);
    EXPECT_STREQ(log.LogFileName, "D:\\Logs\\run.log");

    // A default that cannot fit stays empty rather than naming a cut path.
    console.InstallPath = std::string(250, 'p');
    DeleteKeyTree(kSalvoraKey);
    ASSERT_TRUE(SetString("InstallPath", "C:\\Prog"));
    log.Load(console);
    EXPECT_STREQ(log.LogFileName, "");
}

TEST_F(SettingsTest, AnnalixValuesDependOnItsInstallation)
{
    ASSERT_TRUE(SetDword("LogWriteAnnalix", 1));
    ASSERT_TRUE(SetDword("DemandTaskExec", 1));
    ConsoleSettings console;
    ASSERT_TRUE(console.Load());
    LogSettings log;
    log.Load(console);
    EXPECT_EQ(log.LogWriteAnnalix, 0u);
    EXPECT_EQ(log.DemandTaskExec, 0u);

    // Not installed: the save leaves the two stored values alone.
    log.LogWriteAnnalix = 0;
    ASSERT_TRUE(SetDword("DemandTaskExec", 5));
    ASSERT_TRUE(log.Save(console));
    uint32_t value = 0;
    ASSERT_TRUE(GetDword("DemandTaskExec", value));
    EXPECT_EQ(value, 5u);
    ASSERT_TRUE(GetDword("LogWriteAnnalix", value));
    EXPECT_EQ(value, 1u);

    ASSERT_TRUE(SetString("InstallPath", "C:\\Annalix", kAnnalixKey));
    ASSERT_TRUE(console.Load());
    EXPECT_EQ(console.AnnalixInstallPath, "C:\\Annalix");
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, "DemandTaskExec");
    log.Load(console);
    EXPECT_EQ(log.LogWriteAnnalix, 1u);
    EXPECT_EQ(log.DemandTaskExec, 1u) << "installed and absent gives 1";
    ASSERT_TRUE(SetDword("DemandTaskExec", 0));
    log.Load(console);
    EXPECT_EQ(log.DemandTaskExec, 0u);

    log.LogWriteAnnalix = 0;
    log.DemandTaskExec = 1;
    ASSERT_TRUE(log.Save(console));
    ASSERT_TRUE(GetDword("DemandTaskExec", value));
    EXPECT_EQ(value, 1u);
    ASSERT_TRUE(GetDword("LogWriteAnnalix", value));
    EXPECT_EQ(value, 0u);
}

TEST_F(SettingsTest, RegistryPathValueReadsAnyType)
{
    ASSERT_TRUE(SetDword("Number", 0x00434241, kAnnalixKey));
    std::string text;
    EXPECT_TRUE(ReadRegistryPathValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrel\\Annalix\\Number", text));
    EXPECT_EQ(text, "ABC");
    EXPECT_FALSE(ReadRegistryPathValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrel\\Annalix\\Absent", text));
    EXPECT_FALSE(ReadRegistryPathValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrel\\NoSuchKey\\Value", text));
    EXPECT_FALSE(ReadRegistryPathValue(HKEY_LOCAL_MACHINE, "NoBackslash", text));
    EXPECT_EQ(text, "ABC");
}

TEST_F(SettingsTest, LookupSlotsAreReadOncePerProcess)
{
    ForgetLookupSlotCount();
    EXPECT_EQ(LookupSlotCount(), 100) << "absent";
    ForgetLookupSlotCount();
    ASSERT_TRUE(SetDword("MaxEnumThread", static_cast<uint32_t>(-5)));
    EXPECT_EQ(LookupSlotCount(), 100) << "negative";
    ForgetLookupSlotCount();
    ASSERT_TRUE(SetDword("MaxEnumThread", 0));
    EXPECT_EQ(LookupSlotCount(), 1) << "zero counts as one";
    ForgetLookupSlotCount();
    ASSERT_TRUE(SetDword("MaxEnumThread", 12));
    EXPECT_EQ(LookupSlotCount(), 12);
    ASSERT_TRUE(SetDword("MaxEnumThread", 30));
    EXPECT_EQ(LookupSlotCount(), 12) << "kept for the life of the process";
    ForgetLookupSlotCount();
    ASSERT_TRUE(SetString("MaxEnumThread", "30"));
    EXPECT_EQ(LookupSlotCount(), 100) << "wrong type";
    ForgetLookupSlotCount();
}

} // namespace
