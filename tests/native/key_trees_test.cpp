// Registry tree removal: depth-first order, what is skipped, and that nothing is created.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cleanup/key_trees.h"
#include "cleanup/stages.h"
#include "tests/native/machine.h"

namespace vorsk {
namespace {

using test::kScriptPath;

class KeyTreesTest : public ::testing::Test {
 protected:
  void Delete(const std::string& path) { DeleteKeyTree(host, path); }
  void RunScript(const std::string& keySection, const std::string& devNo = "1") {
    host.AddFile(kScriptPath, keySection);
    RemoveKeyTrees(host, report, kScriptPath, devNo);
  }
  void TearDown() override {
    EXPECT_EQ(host.OpenHandleCount(), 0u);
    EXPECT_TRUE(host.faults.empty());
  }

  test::FakeHost host;
  RunReport report{host, kNoOwner};
};

TEST_F(KeyTreesTest, DeletesDepthFirstInEnumerationOrder) {
  host.AddKey("SOFTWARE\\Vendor\\Key\\A\\A1");
  host.AddKey("SOFTWARE\\Vendor\\Key\\B");
  host.SetString("SOFTWARE\\Vendor\\Key\\A", "Setting", "1");
  host.AddKey("SOFTWARE\\Vendor\\Other");

  Delete("SOFTWARE\\Vendor\\Key");

  EXPECT_EQ(host.JournalOf("deleted-key"),
            (std::vector<std::string>{"SOFTWARE\\Vendor\\Key\\A\\A1", "SOFTWARE\\Vendor\\Key\\A",
                                      "SOFTWARE\\Vendor\\Key\\B", "SOFTWARE\\Vendor\\Key"}));
  EXPECT_EQ(host.RegistrySnapshot(),
            (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Vendor", "SOFTWARE\\Vendor\\Other"}));
}

TEST_F(KeyTreesTest, KeyWithoutSubkeysIsDeleted) {
  host.AddKey("SOFTWARE\\Vendor\\Key");
  Delete("SOFTWARE\\Vendor\\Key");
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\Vendor\\Key"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\Vendor"));
}

// A listed key that does not exist, or whose parent does not, leaves the registry exactly as
// it was: nothing is created.
TEST_F(KeyTreesTest, MissingKeysAreSkippedAndNothingIsCreated) {
  host.AddKey("SOFTWARE\\Vendor");
  const auto before = host.RegistrySnapshot();

  RunScript("[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\Vendor\\Missing\r\nNum2=SOFTWARE\\Gone\\Deeper\r\n");

  EXPECT_EQ(host.RegistrySnapshot(), before);
  EXPECT_TRUE(host.JournalOf("delete-key").empty());
}

// A listed path with fewer than two non-empty components names a whole branch of the machine.
TEST_F(KeyTreesTest, TopLevelKeysAreNeverDeleted) {
  host.AddKey("SOFTWARE\\Vendor");
  host.AddKey("SYSTEM");
  const auto before = host.RegistrySnapshot();

  RunScript(
      "[1KEY]\r\nNum=5\r\nNum1=SOFTWARE\r\nNum2=SYSTEM\\\r\nNum3=\\SOFTWARE\\\\\r\n"
      "Num4=\\\\\r\nNum5=Vendor\r\n");

  EXPECT_EQ(host.RegistrySnapshot(), before);
  EXPECT_EQ(ListedTreePath("SOFTWARE"), "");
  EXPECT_EQ(ListedTreePath("SOFTWARE\\"), "");
  EXPECT_EQ(ListedTreePath("\\\\SYSTEM\\\\"), "");
  EXPECT_EQ(ListedTreePath("SOFTWARE\\Vendor"), "SOFTWARE\\Vendor");
  EXPECT_EQ(ListedTreePath("SOFTWARE\\Vendor\\\\"), "SOFTWARE\\Vendor");
}

TEST_F(KeyTreesTest, TrailingSeparatorsAreDroppedBeforeTheDescent) {
  host.AddKey("SOFTWARE\\Vendor\\Key\\Sub");

  RunScript("[1KEY]\r\nNum=1\r\nNum1=SOFTWARE\\Vendor\\Key\\\\\r\n");

  EXPECT_EQ(host.JournalOf("delete-key"),
            (std::vector<std::string>{"SOFTWARE\\Vendor\\Key\\Sub", "SOFTWARE\\Vendor\\Key"}));
}

TEST_F(KeyTreesTest, CountAndNumberedEntries) {
  struct Case {
    std::string section;
    std::vector<std::string> reads;
    std::vector<std::string> deleted;
  };
  const std::string keys =
      "Num1=SOFTWARE\\V\\K1\r\nNum3=SOFTWARE\\V\\K3\r\nNum5=SOFTWARE\\V\\K5\r\n";
  const std::vector<Case> cases = {
      {"[1KEY]\r\nNum=0\r\n" + keys, {"1KEY/Num"}, {}},
      {"[1KEY]\r\nNum=-3\r\n" + keys, {"1KEY/Num"}, {}},
      {"[1KEY]\r\nNum=3\r\n" + keys,
       {"1KEY/Num", "1KEY/Num1", "1KEY/Num2", "1KEY/Num3"},
       {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3"}},
      {"[1KEY]\r\n" + keys,
       {"1KEY/Num", "1KEY/Num1", "1KEY/Num2", "1KEY/Num3", "1KEY/Num4", "1KEY/Num5"},
       {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3", "SOFTWARE\\V\\K5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    test::FakeHost machine;
    for (const char* key : {"SOFTWARE\\V\\K1", "SOFTWARE\\V\\K3", "SOFTWARE\\V\\K5"}) {
      machine.AddKey(key);
    }
    machine.AddFile(kScriptPath, c.section);

    RunReport report(machine, kNoOwner);
    RemoveKeyTrees(machine, report, kScriptPath, "1");

    EXPECT_EQ(machine.JournalOf("profile"), c.reads);
    EXPECT_EQ(machine.JournalOf("deleted-key"), c.deleted);
  }
}

// A count beyond what any script lists is held to 1000 entries, so the stage ends.
TEST_F(KeyTreesTest, HugeCountsListAThousandTreesAtMost) {
  host.AddKey("SOFTWARE\\V\\K1000");
  host.AddKey("SOFTWARE\\V\\K1001");
  for (const std::string count : {"2147483647", "0x7fffffff", "1001"}) {
    SCOPED_TRACE(count);
    host.journal.clear();
    host.files.erase(kScriptPath);
    RunScript("[1KEY]\r\nNum=" + count +
              "\r\nNum1000=SOFTWARE\\V\\K1000\r\nNum1001=SOFTWARE\\V\\K1001\r\n");

    const auto reads = host.JournalOf("profile");
    ASSERT_EQ(reads.size(), 1001u);
    EXPECT_EQ(reads.back(), "1KEY/Num1000");
  }
  EXPECT_FALSE(host.KeyExists("SOFTWARE\\V\\K1000"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K1001"));
}

// A subkey that cannot be deleted keeps its parent; the siblings and the next listed tree still
// go.
TEST_F(KeyTreesTest, UndeletableSubkeyKeepsItsParentOnly) {
  host.AddKey("SOFTWARE\\V\\K1\\A");
  host.AddKey("SOFTWARE\\V\\K1\\B").deleteFailure = kErrorAccessDenied;
  host.AddKey("SOFTWARE\\V\\K1\\C");
  host.AddKey("SOFTWARE\\V\\K2\\D");

  RunScript("[1KEY]\r\nNum=2\r\nNum1=SOFTWARE\\V\\K1\r\nNum2=SOFTWARE\\V\\K2\r\n");

  EXPECT_EQ(host.RegistrySnapshot(),
            (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\V", "SOFTWARE\\V\\K1",
                                      "SOFTWARE\\V\\K1\\B"}));
  EXPECT_TRUE(host.messageBoxes.empty());
}

// A level whose names cannot all be read, or whose subkeys cannot be counted, keeps everything at
// and below it.
TEST_F(KeyTreesTest, LevelThatCannotBeListedIsKept) {
  host.AddKey("SOFTWARE\\V\\K\\Listed\\Deep");
  host.AddKey("SOFTWARE\\V\\K\\Uncounted\\Deep");
  host.AddKey("SOFTWARE\\V\\K\\Zebra");
  host.AddKey("SOFTWARE\\V\\K\\Listed\\Other");
  host.FindKey("SOFTWARE\\V\\K\\Listed")->enumFailures[1] = kErrorAccessDenied;
  host.FindKey("SOFTWARE\\V\\K\\Uncounted")->queryInfoFailure = kErrorAccessDenied;

  Delete("SOFTWARE\\V\\K");

  EXPECT_EQ(host.JournalOf("deleted-key"), std::vector<std::string>{"SOFTWARE\\V\\K\\Zebra"});
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K\\Listed\\Deep"));
  EXPECT_TRUE(host.KeyExists("SOFTWARE\\V\\K\\Uncounted\\Deep"));
}

TEST_F(KeyTreesTest, WideTreesAreDeletedWhole) {
  for (int i = 0; i < 1500; ++i) {
    host.AddKey("SOFTWARE\\V\\Wide\\" + std::to_string(i) + "\\Leaf");
  }
  host.AddKey("SOFTWARE\\V\\Wide\\" + std::string(255, 'n'));

  Delete("SOFTWARE\\V\\Wide");

  EXPECT_FALSE(host.KeyExists("SOFTWARE\\V\\Wide"));
  EXPECT_EQ(host.JournalOf("deleted-key").size(), 3002u);
}

// The path grows past 259 characters during the descent and is never cut.
TEST_F(KeyTreesTest, DeepTreesAreDeletedWithWholePaths) {
  std::string path = "SOFTWARE\\V\\Deep";
  for (int level = 0; level < 40; ++level) {
    path += "\\level" + std::to_string(level);
  }
  ASSERT_GT(path.size(), 259u);
  host.AddKey(path);

  Delete("SOFTWARE\\V\\Deep");

  const auto deleted = host.JournalOf("deleted-key");
  ASSERT_EQ(deleted.size(), 41u);
  EXPECT_EQ(deleted.front(), path);
  EXPECT_EQ(host.RegistrySnapshot(), (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\V"}));
}

}  // namespace
}  // namespace vorsk
