#include <gtest/gtest.h>
#include "RestoreEngine.h"
#include "TestSupport.h"
using namespace restavo;
TEST(Probe, Expand) {
  testing_support::TempFolder f;
  testing_support::WriteWholeFile(f / "a._", "hello");
  EXPECT_TRUE(ExpandFile((f / "a._").c_str(), (f / "a").c_str()));
  std::string b; testing_support::ReadWholeFile(f / "a", b); EXPECT_EQ(b, "hello");
  EXPECT_FALSE(ExpandFile((f / "missing._").c_str(), (f / "m").c_str()));
  EXPECT_FALSE(testing_support::FileExists(f / "m"));
  printf("lookup local %d\n", EnablePrivilege(SE_RESTORE_NAME, nullptr));
  printf("lookup pc01 %d err %lu\n", EnablePrivilege(SE_RESTORE_NAME, "pc01"), GetLastError());
}
