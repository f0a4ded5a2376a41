// The --devices file's lines: an address and the options of that device, or a clear error
// naming the file and the line.
#include <gtest/gtest.h>

#include "base/UsageError.h"
#include "cli/ConsoleReport.h"
#include "cli/DeviceList.h"
#include "tests/support/TempFolder.h"

namespace {
struct TDeviceListCase {
  const char* Name;
  const char* Text;
  std::vector<TDeviceEntry> Devices;
  // The error's text after the file's name; the devices do not count then.
  const char* Error = nullptr;
};

TEST(DeviceListTest, ReadsEachLinesAddressAndOptionsOrNamesTheLineAtFault) {
  const std::vector<TDeviceListCase> cases{
      {"AddressesCommentsAndBlanks", "# rack\n127.1.1.1\n\n  127.1.1.2 \r\n", {{"127.1.1.1"}, {"127.1.1.2"}}},
      {"OptionsAfterTheAddress", "127.1.1.1 master-recover\n127.1.1.2\tslave-recover  master-recover\n",
       {{"127.1.1.1", true, false}, {"127.1.1.2", true, true}}},
      {"AnUnknownOption", "127.1.1.1\n127.1.1.2 recover\n", {}, ":2: \"recover\" is not a device option"},
      {"TwoAddressesOnALine", "127.1.1.1 127.1.1.2\n", {}, ":1: \"127.1.1.2\" is not a device option"},
      {"AnOptionInPlaceOfTheAddress", "--master-recover 127.1.1.1\n", {}, ":1: \"--master-recover\" is not a device address"},
      {"NoAddress", "# none yet\n\n", {}, " holds no device address"},
  };
  TTempFolder folder;
  for (const TDeviceListCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = folder.WriteFile("rack.txt", c.Text);
    if (c.Error) {
      try {
        ReadDeviceList(file);
        ADD_FAILURE() << "accepted";
      } catch (const EUsageError& E) {
        EXPECT_EQ(std::string(E.what()).find(file + c.Error), 0u) << E.what();
      }
      continue;
    }
    const std::vector<TDeviceEntry> devices = ReadDeviceList(file);
    ASSERT_EQ(devices.size(), c.Devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
      EXPECT_EQ(devices[i].Address, c.Devices[i].Address);
      EXPECT_EQ(devices[i].MasterRecover, c.Devices[i].MasterRecover) << i;
      EXPECT_EQ(devices[i].SlaveRecover, c.Devices[i].SlaveRecover) << i;
    }
  }
}

TEST(EtaTextTest, ScalesTheTimeSoFarToWhatIsLeft) {
  struct TCase {
    double Elapsed;
    int Percent;
    const char* Eta;
  };
  for (const TCase& c : {TCase{3, 0, ""}, TCase{3, 100, ""}, TCase{10, 50, "ETA 0:10"}, TCase{30, 25, "ETA 1:30"},
                         TCase{1, 1, "ETA 1:39"}, TCase{0.2, 80, "ETA 0:00"}})
    EXPECT_EQ(EtaText(std::chrono::duration<double>(c.Elapsed), c.Percent), c.Eta) << c.Elapsed << " s at " << c.Percent;
}
}  // namespace
