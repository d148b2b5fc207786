#include "Enumeration.h"
#include "NetworkTestSupport.h"
#include "RegistryFixture.h"
#include "SimulatedNetwork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace console_test;

namespace {

struct Described {
    ComputerRole role;
    std::string text;
};

Described Describe(DWORD type, DWORD major, DWORD minor)
{
    Described d{kRoleServer, "junk"};
    DescribeServer(type, major, minor, d.role, d.text);
    return d;
}

TEST(DescribeServerTest, RolesAndTexts)
{
    Described bdc = Describe(kSimBackupController, 4, 0);
    EXPECT_EQ(bdc.role, kRoleBackupController);
    EXPECT_EQ(bdc.text, "Windows NT Backup Domain Controller (4.0)");
    Described pdc = Describe(kSimPrimaryController | 0x8000 | 0x10, 4, 0);
    EXPECT_EQ(pdc.role, kRolePrimaryController) << "the first matching bit wins";
    EXPECT_EQ(pdc.text, "Windows NT Primary Domain Controller (4.0)");
    Described server = Describe(kSimNtServer, 3, 51);
    EXPECT_EQ(server.role, kRoleServer);
    EXPECT_EQ(server.text, "Windows NT Server (3.51)");
    Described workstation = Describe(kSimNtWorkstation, 0x14, 0);
    EXPECT_EQ(workstation.role, kRoleWorkstation);
    EXPECT_EQ(workstation.text, "Windows NT Workstation (4.0)") << "major version masked with 0x0F";
    Described noRole = Describe(0x1000 | 0x2, 4, 0);
    EXPECT_EQ(noRole.role, kRoleUndetermined);
    EXPECT_EQ(noRole.text, "Unknown");
    Described win95 = Describe(kSimWindows95, 4, 0);
    EXPECT_EQ(win95.role, kRoleUndetermined);
    EXPECT_EQ(win95.text, "Unknown");
}

TEST(EntryTest, FromServerInfo)
{
    wchar_t name[] = L"ACCOUNTS";
    wchar_t comment[] = L"Accounting";
    SERVER_INFO_101 info{};
    info.sv101_name = name;
    info.sv101_comment = comment;
    info.sv101_type = kSimBackupController;
    info.sv101_version_major = 4;
    ComputerEntryPtr entry = EntryFromServerInfo(info);
    EXPECT_EQ(entry->name, "ACCOUNTS");
    EXPECT_EQ(entry->Role(), kRoleBackupController);
    EXPECT_EQ(entry->TypeText(), "Windows NT Backup Domain Controller (4.0)");
    EXPECT_EQ(entry->Description(), "Accounting");
    EXPECT_EQ(entry->selected, 0);
    EXPECT_EQ(entry->result, 0u);

    wchar_t longName[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::wstring hugeComment(5000, L'c');
    hugeComment[4999] = L'\x00e9'; // outside ASCII, converted to the ANSI code page
    info.sv101_name = longName;
    info.sv101_comment = hugeComment.data();
    entry = EntryFromServerInfo(info);
    EXPECT_EQ(entry->name, "ABCDEFGHIJKLMNO");
    EXPECT_GE(entry->Description().size(), 5000u);

    info.sv101_comment = nullptr;
    EXPECT_EQ(EntryFromServerInfo(info)->Description(), "");
    info.sv101_comment = comment;
    info.sv101_type = kSimWindows95;
    entry = EntryFromServerInfo(info);
    EXPECT_EQ(entry->TypeText(), "Unknown");
    EXPECT_EQ(entry->Description(), "") << "non-NT machines carry no description";
}

TEST(EntryTest, FromName)
{
    ComputerEntryPtr entry = EntryFromName("\\\\SERVER01");
    EXPECT_EQ(entry->name, "SERVER01");
    EXPECT_EQ(entry->Role(), kRoleUndetermined);
    EXPECT_EQ(entry->TypeText(), "Unknown");
    EXPECT_EQ(entry->Description(), "");
    EXPECT_EQ(EntryFromName("ABCDEFGHIJKLMNOPQRST")->name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(EntryFromName("\\ONE")->name, "\\ONE") << "only two leading backslashes are removed";
    EXPECT_EQ(EntryFromName(nullptr)->name, "");
}

TEST(EntryTest, StringsArePublishedWhole)
{
    // A lookup thread replaces the strings while another thread reads them: every read
    // gives one of the published pairs, never a torn or freed string.
    ComputerEntry entry("PC");
    const std::string a(300, 'a');
    const std::string b(17, 'b');
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i)
            entry.SetInfo(i % 2 ? kRoleServer : kRoleWorkstation, i % 2 ? a : b, i % 2 ? b : a);
    });
    int bad = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string type = entry.TypeText();
        if (!type.empty() && type != a && type != b) ++bad;
    }
    stop.store(true);
    writer.join();
    EXPECT_EQ(bad, 0);
}

TEST(LocalNameTest, IsTheComputerName)
{
    const char* name = LocalComputerName();
    ASSERT_NE(name, nullptr);
    char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof(expected);
    ASSERT_TRUE(GetComputerNameA(expected, &size));
    EXPECT_EQ(std::string(name), std::string(expected).substr(0, 15));
    EXPECT_EQ(LocalComputerName(), name) << "one buffer for the life of the process";
}

class RefreshTest : public RegistryTest {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(WaitForLookups());
        EXPECT_EQ(network.OutstandingBuffers(), 0u) << "every buffer is freed";
        TheComputerList().Clear();
        RegistryTest::TearDown();
    }
    SimulatedNetwork network;
};

TEST_F(RefreshTest, NamedDomainKeepsWindowsNtComputersInOrder)
{
    network.Add({L"PDC1", kSimPrimaryController, 4, 0, L"Head office"}, L"SALES");
    network.Add({L"OLD95", kSimWindows95, 4, 0, L"Reception"}, L"SALES");
    network.Add({L"WKS7", kSimNtWorkstation, 4, 0}, L"SALES");
    network.Add({L"LANMAN", kSimLanManServer, 2, 1}, L"SALES");
    network.Add({L"BDC2", kSimBackupController, 4, 0, L"Accounting"}, L"SALES");
    network.Add({L"OTHER", kSimNtServer, 4, 0}, L"MARKETING");
    ASSERT_TRUE(RefreshFromDomain("Sales"));
    const ComputerList& list = TheComputerList();
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(list.At(0)->name, "PDC1");
    EXPECT_EQ(list.At(0)->Description(), "Head office");
    EXPECT_EQ(list.At(1)->name, "WKS7");
    EXPECT_EQ(list.At(1)->TypeText(), "Windows NT Workstation (4.0)");
    EXPECT_EQ(list.At(2)->name, "BDC2");
    EXPECT_EQ(list.At(2)->Role(), kRoleBackupController);
    ASSERT_EQ(network.EnumLengths().size(), 1u);
    EXPECT_EQ(network.EnumLengths()[0], 65000u);
    EXPECT_EQ(network.EnumTypeMasks()[0], 0x1Bu);
    EXPECT_EQ(network.EnumDomains()[0], L"Sales");
}

TEST_F(RefreshTest, LargeDomainDoublesTheBuffer)
{
    for (int i = 0; i < 3000; ++i)
        network.Add({Wide("SRV" + std::to_string(i)), kSimNtServer, 4, 0, L"A comment of some length"}, L"BIG");
    ASSERT_TRUE(RefreshFromDomain("BIG"));
    EXPECT_EQ(TheComputerList().Size(), 3000u);
    std::vector<DWORD> lengths = network.EnumLengths();
    ASSERT_GE(lengths.size(), 2u);
    for (size_t i = 1; i < lengths.size(); ++i) EXPECT_EQ(lengths[i], lengths[i - 1] * 2);
}

TEST_F(RefreshTest, GivesUpAfterTenCallsAndFallsBackToTheLocalComputer)
{
    network.Add({L"SRV", kSimNtServer, 4, 0}, L"");
    network.RequireEnumLength(0xFFFFFFFF);
    ASSERT_TRUE(RefreshFromDomain("")); // no domain: the local computer stands in
    EXPECT_EQ(network.EnumLengths().size(), 10u);
    EXPECT_EQ(network.EnumLengths().back(), 65000u << 9);
    ASSERT_EQ(TheComputerList().Size(), 1u);
    EXPECT_EQ(TheComputerList().At(0)->name, LocalComputerName());
}

TEST_F(RefreshTest, FailedEnumeration)
{
    const char* local = LocalComputerName();
    ASSERT_NE(local, nullptr);
    network.Add({Wide(local), kSimNtWorkstation, 4, 0, L"My own", 0, false, 300});
    network.FailEnumeration(6118);
    ASSERT_TRUE(RefreshFromDomain(nullptr));
    ASSERT_EQ(TheComputerList().Size(), 1u);
    ComputerEntryPtr entry = TheComputerList().At(0);
    EXPECT_EQ(entry->name, local);
    // Its type arrives when the detached lookup has finished.
    ASSERT_TRUE(WaitForLookups());
    EXPECT_EQ(entry->TypeText(), "Windows NT Workstation (4.0)");
    EXPECT_EQ(entry->Description(), "My own");

    ASSERT_TRUE(RefreshFromDomain("NOWHERE"));
    EXPECT_TRUE(TheComputerList().Empty()) << "a named domain gets no local computer";
}

TEST_F(RefreshTest, EntryOutlivesTheListWhileItsLookupRuns)
{
    const char* local = LocalComputerName();
    ASSERT_NE(local, nullptr);
    network.Add({Wide(local), kSimNtServer, 4, 0, L"Slow", 0, false, 400});
    network.FailEnumeration(6118);
    ASSERT_TRUE(RefreshFromDomain(nullptr));
    std::weak_ptr<ComputerEntry> first = TheComputerList().At(0);
    ASSERT_TRUE(RefreshFromDomain(nullptr)); // drops the first entry while its lookup runs
    EXPECT_FALSE(first.expired()) << "the lookup thread still holds it";
    ASSERT_TRUE(WaitForLookups());
    EXPECT_TRUE(first.expired());
    EXPECT_EQ(TheComputerList().At(0)->TypeText(), "Windows NT Server (4.0)");
}

} // namespace

namespace {

// The real NETAPI32 of this machine: no browse list, only the local computer.
TEST(RealNetworkTest, LocalComputerAloneWithoutABrowseList)
{
    SetNetwork(nullptr);
    ASSERT_TRUE(RefreshFromDomain(nullptr));
    ASSERT_EQ(TheComputerList().Size(), 1u);
    ComputerEntryPtr entry = TheComputerList().At(0);
    EXPECT_EQ(entry->name, LocalComputerName());
    ASSERT_TRUE(WaitForLookups());
    // The local answer carries the Windows NT bit but no role bit.
    EXPECT_EQ(entry->Role(), kRoleUndetermined);
    EXPECT_EQ(entry->TypeText(), "Unknown");

    ComputerEntryPtr direct = EntryFromName(LocalComputerName());
    EXPECT_EQ(LookupComputer(*direct), 0u);
    EXPECT_EQ(direct->TypeText(), "Unknown");
    TheComputerList().Clear();
}

} // namespace
