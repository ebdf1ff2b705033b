// The script reader: limits on what it reads, and section names built from the device number.
#include <string>

#include <gtest/gtest.h>

#include "script/script_reader.h"
#include "tests/fake_host.h"

namespace vorsk {
namespace {

const std::string kScript = "C:\\WINDOWS\\Setup417\\Remove417.ini";

class ScriptTest : public ::testing::Test {
 protected:
  void Script(const std::string& text) { host.AddFile(kScript, text); }
  test::FakeHost host;
};

TEST_F(ScriptTest, TextIsCutToOneLessThanItsBufferSize) {
  const std::string id40(40, 'd');
  const std::string path300(300, 'p');
  Script("[RemoveInf]\nImage0=" + id40 + "\n[1KEY]\nNum1=" + path300 + "\n");

  EXPECT_EQ(ReadScriptText(host, kScript, kRemoveInfSection, "Image0", kDeviceIdSize),
            std::string(34, 'd'));
  EXPECT_EQ(ReadScriptText(host, kScript, "1KEY", "Num1", kScriptTextSize), std::string(259, 'p'));
}

TEST_F(ScriptTest, AbsentSectionsAndEntriesTakeTheirDefaults) {
  Script("[RemoveInf]\nImage0=usb\\vid_0000\n[1KEY]\nNum=notanumber\n");

  EXPECT_EQ(ReadScriptText(host, kScript, kRemoveInfSection, "Image1", kDeviceIdSize), "");
  EXPECT_EQ(ReadScriptText(host, kScript, kCurrentDevSection, kDevNoEntry, kScriptTextSize), "");
  EXPECT_EQ(ReadScriptCount(host, kScript, "2KEY", "Num", 5), 5);
  // Present but not a number: whatever the profile reader makes of it.
  EXPECT_EQ(ReadScriptCount(host, kScript, "1KEY", "Num", 5), 0);
}

TEST_F(ScriptTest, SectionNamesAreBuiltFromTheDeviceNumber) {
  EXPECT_EQ(DeviceSectionName("2", kPidVidSuffix), "2PIDVID");
  EXPECT_EQ(DeviceSectionName("2", kKeySuffix), "2KEY");
  EXPECT_EQ(DeviceSectionName("", kPidVidSuffix), "PIDVID");
  EXPECT_EQ(DeviceSectionName("", kKeySuffix), "KEY");
  EXPECT_EQ(NumberedEntryName(1), "Num1");
  EXPECT_EQ(NumberedEntryName(12), "Num12");
}

// A section name over 259 characters is never cut into another section's name: its entries
// read as absent, and the profile reader is not asked at all.
TEST_F(ScriptTest, OverlongSectionNamesReadAsAbsent) {
  const std::string devNo(257, '7');  // "<devNo>KEY" is 260 characters
  const std::string cutName = DeviceSectionName(devNo, kKeySuffix).substr(0, 259);
  Script("[" + cutName + "]\nNum=3\nNum1=SOFTWARE\\Vendor\\Key\n");

  const std::string section = DeviceSectionName(devNo, kKeySuffix);
  EXPECT_EQ(ReadScriptCount(host, kScript, section, "Num", 5), 5);
  EXPECT_EQ(ReadScriptText(host, kScript, section, "Num1", kScriptTextSize), "");
  EXPECT_TRUE(host.JournalOf("profile").empty());

  // One character shorter fits, and is read.
  const std::string fitting = DeviceSectionName(std::string(256, '7'), kKeySuffix);
  Script("[" + fitting + "]\nNum=3\n");
  EXPECT_EQ(ReadScriptCount(host, kScript, fitting, "Num", 5), 3);
}

}  // namespace
}  // namespace vorsk
