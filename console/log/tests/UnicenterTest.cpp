#include "ConsoleState.h"
#include "LogTestSupport.h"
#include "Messages.h"
#include "RegistryFixture.h"
#include "Settings.h"
#include "TestSupport.h"
#include "UnicenterStatus.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace console_test;
using testing_support::ReadWholeFile;
using testing_support::TempFolder;

namespace {

constexpr char kUnicenterRoot[] = "SOFTWARE\\ComputerAssociates";

class UnicenterTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        DeleteKeyTree(kUnicenterRoot);
        ASSERT_TRUE(SetString("Install Path", "C:\\TNG", kUnicenterKey));
        TheConsoleSettings().InstallPath = folder.Path();
        SetConsoleClock(December7);
        SetUnattended(false);
        list.Clear();
    }
    void TearDown() override
    {
        list.Clear();
        SetConsoleClock(nullptr);
        SetUnattended(false);
        DeleteKeyTree(kUnicenterRoot);
        RegistryTest::TearDown();
    }
    void Add(const char* name, uint32_t result, uint32_t code = 0, bool selected = true, const char* type = "Windows NT Server (4.0)",
             const char* description = "")
    {
        ComputerEntryPtr entry = std::make_shared<ComputerEntry>(name);
        entry->SetInfo(kRoleServer, type, description);
        entry->selected = selected ? 1 : 0;
        entry->result = result;
        entry->errorCode = code;
        list.Append(entry);
    }
    std::string File() const { return folder / "TNGAgent.ini"; }
    // The file's non-blank lines, trimmed.
    std::vector<std::string> Lines() const
    {
        std::string bytes;
        if (!ReadWholeFile(File(), bytes)) return {"<no file>"};
        std::vector<std::string> lines;
        std::istringstream in(bytes);
        for (std::string line; std::getline(in, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
        return lines;
    }
    static std::vector<std::string> Configuration(const char* state, const char* result, const char* scheduling)
    {
        return {"[Configuration]", std::string("State=") + state, "Version=3.01", "Description=Corvane Salvora",
                "OperationTime=1999/12/07 14:03", std::string("OperationResult=") + result,
                std::string("Scheduling=") + scheduling};
    }

    TempFolder folder{"tng"};
    ComputerList list;
};

TEST_F(UnicenterTest, NothingWithoutUnicenter)
{
    DeleteKeyTree(kUnicenterRoot);
    ASSERT_TRUE(testing_support::WriteWholeFile(File(), "old"));
    Add("PC", kJobSucceeded);
    WriteUnicenterStatus(list, false);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(File(), bytes));
    EXPECT_EQ(bytes, "old") << "neither written nor deleted";
    uint32_t stamp = 0;
    EXPECT_FALSE(GetDword(kUnicenterStampValue, stamp));

    // The key without its value counts as absent too.
    ASSERT_TRUE(SetDword("Other", 1, kUnicenterKey));
    WriteUnicenterStatus(list, false);
    EXPECT_FALSE(GetDword(kUnicenterStampValue, stamp));
}

TEST_F(UnicenterTest, SuccessesAndFailuresCountedApart)
{
    ASSERT_TRUE(testing_support::WriteWholeFile(File(), "[Stale]\r\nOld=1\r\n"));
    Add("SERVER1", kJobSucceeded, 0, true, "Windows NT Server (4.0)", "Files");
    Add("SKIPPED", kJobTimeout, 0, false);
    Add("SERVER2", kJobTimeout, 0, true, "Windows NT Workstation (4.0)", "");
    Add("SERVER3", kJobSucceeded, 0, true, "Windows NT Primary Domain Controller (4.0)", "Head office");
    WriteUnicenterStatus(list, false);
    std::vector<std::string> expected = {"[Success]",
                                         "Host_0=SERVER1",
                                         "Description_0=Files",
                                         "Type_0=Windows NT Server (4.0)",
                                         "Host_1=SERVER3",
                                         "Description_1=Head office",
                                         "Type_1=Windows NT Primary Domain Controller (4.0)",
                                         "[Failure]",
                                         "Host_0=SERVER2",
                                         "Description_0=",
                                         "ErrorDescription_0=TIMEOUT (0)",
                                         "Severity_0=Error"};
    for (const auto& line : Configuration("Warning", "Operation Completed", "Manual")) expected.push_back(line);
    EXPECT_EQ(Lines(), expected);

    uint32_t stamp = 0;
    ASSERT_TRUE(GetDword(kUnicenterStampValue, stamp));
    EXPECT_EQ(stamp, 1u);
    WriteUnicenterStatus(list, false);
    ASSERT_TRUE(GetDword(kUnicenterStampValue, stamp));
    EXPECT_EQ(stamp, 2u);
}

TEST_F(UnicenterTest, EmptyRunIsCritical)
{
    Add("IDLE", kJobSucceeded, 0, false);
    WriteUnicenterStatus(list, false);
    EXPECT_EQ(Lines(), Configuration("Critical", "Operation Completed", "Manual"));
}

TEST_F(UnicenterTest, CancelledScheduledRun)
{
    Add("PC", kJobSucceeded);
    SetUnattended(true);
    WriteUnicenterStatus(list, true);
    std::vector<std::string> lines = Lines();
    std::vector<std::string> tail(lines.end() - 7, lines.end());
    EXPECT_EQ(tail, Configuration("OK", "Cancelled by user!", "Schedule"));
}

TEST_F(UnicenterTest, ErrorTexts)
{
    EXPECT_EQ(UnicenterErrorText(kJobTimeout, 0), "TIMEOUT (0)");
    EXPECT_EQ(UnicenterErrorText(kJobCommunication, 0xFFFFFFFF), "COMMUNICATION (-1)");
    EXPECT_EQ(UnicenterErrorText(kJobInstallError, 5), "Agent install error - " + NetErrorText(5) + " (5)");
    EXPECT_EQ(UnicenterErrorText(99, 5), "Unknown Error (5)") << "no message: no error text either";
    EXPECT_EQ(UnicenterErrorText(kJobOutputFolderError, 0x2FFFFFFF),
              "Creation output directory error - " + std::to_string(0x2FFFFFFF) + " (" + std::to_string(0x2FFFFFFF) + ")");
    for (uint32_t code : {5u, 1722u, 0x80070005u}) EXPECT_LE(UnicenterErrorText(kJobCopyError, code).size(), 259u);

    Add("BAD", kJobInstallError, 53);
    WriteUnicenterStatus(list, false);
    std::vector<std::string> lines = Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[3], "ErrorDescription_0=Agent install error - " + NetErrorText(53) + " (53)");
}

} // namespace
