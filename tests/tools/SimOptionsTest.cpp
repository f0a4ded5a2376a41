#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/sim/SimOptions.h"

namespace {
std::string UsageErrorOf(const std::vector<std::string>& Args) {
  try {
    ParseSimOptions(Args);
  } catch (const EUsageError& e) {
    return e.Message();
  }
  return "(accepted)";
}

TEST(SimOptionsTest, DefaultsServeOneSoundDeviceOnTheLoopbackAddress) {
  const TSimOptions options = ParseSimOptions({});
  EXPECT_EQ(options.Listen, std::vector<std::string>{"127.0.0.1"});
  EXPECT_TRUE(options.FlashedPattern.empty());
  EXPECT_FALSE(options.Faults.NoAck || options.Faults.NoEcho || options.Faults.NoRestartAck);
  EXPECT_FALSE(options.Faults.RefuseRecord || options.Faults.SilentAfter || options.Faults.CloseAfter);
  EXPECT_EQ(options.Faults.MasterVersion, "M12");
  EXPECT_EQ(options.Faults.SlaveVersion, "S12");
  EXPECT_EQ(options.Delay.count(), 0);
  EXPECT_FALSE(options.RefuseConnections);
}

TEST(SimOptionsTest, EveryOptionIsTakenWithItsValueSeparateOrJoined) {
  const TSimOptions options = ParseSimOptions(
      {"--listen", "127.50.0.1", "--listen=127.50.0.2", "--flashed", "out-{addr}.txt", "--fault-unit=slave",
       "--no-ack", "--no-echo", "--master-version", "X1", "--slave-version=S\\x41\\r", "--refuse-record", "3",
       "--silent-after", "0", "--close-after=7", "--no-restart-ack", "--delay", "20", "--dribble=2",
       "--noise", "a\\\\b\\n", "--refuse-connections", "--in-bootloader", "both"});
  EXPECT_EQ(options.Listen, (std::vector<std::string>{"127.50.0.1", "127.50.0.2"}));
  EXPECT_EQ(DeviceFileName(options.FlashedPattern, "127.50.0.2"), "out-127.50.0.2.txt");
  EXPECT_FALSE(options.Faults.FaultUnits.Master);
  EXPECT_TRUE(options.Faults.FaultUnits.Slave);
  EXPECT_TRUE(options.Faults.NoAck && options.Faults.NoEcho && options.Faults.NoRestartAck);
  EXPECT_EQ(options.Faults.MasterVersion, "X1");
  EXPECT_EQ(options.Faults.SlaveVersion, "SA\r");
  EXPECT_EQ(options.Faults.RefuseRecord, 3u);
  EXPECT_EQ(options.Faults.SilentAfter, 0u);
  EXPECT_EQ(options.Faults.CloseAfter, 7u);
  EXPECT_EQ(options.Delay.count(), 20);
  EXPECT_EQ(options.Dribble.count(), 2);
  EXPECT_EQ(options.Faults.Noise, "a\\b\n");
  EXPECT_TRUE(options.RefuseConnections);
  EXPECT_TRUE(options.Faults.StartInBootloader.Master && options.Faults.StartInBootloader.Slave);
  EXPECT_TRUE(ParseSimOptions({"-h"}).Help);
  EXPECT_EQ(DeviceFileName(ParseSimOptions({"--flashed", "plain.txt"}).FlashedPattern, "127.0.0.1"), "plain.txt");
}

TEST(SimOptionsTest, BadArgumentsAreNamedWithWhatIsWrong) {
  EXPECT_EQ(UsageErrorOf({"--bogus"}), "unknown option \"--bogus\"");
  EXPECT_EQ(UsageErrorOf({"--listen"}), "--listen needs a value");
  EXPECT_EQ(UsageErrorOf({"--listen", "10.0.0.1"}), "--listen \"10.0.0.1\": not a loopback address (127.0.0.0/8)");
  EXPECT_EQ(UsageErrorOf({"--listen", "localhost"}), "--listen \"localhost\": not an IPv4 address");
  EXPECT_EQ(UsageErrorOf({"--listen", "127.0.0.2", "--listen", "127.0.0.2"}), "--listen \"127.0.0.2\": given twice");
  EXPECT_EQ(UsageErrorOf({"--refuse-record", "0"}), "--refuse-record \"0\": not from 1 to 1000000");
  EXPECT_EQ(UsageErrorOf({"--delay", "5ms"}), "--delay \"5ms\": not a whole number");
  EXPECT_EQ(UsageErrorOf({"--close-after", "-1"}), "--close-after \"-1\": not a whole number");
  EXPECT_EQ(UsageErrorOf({"--fault-unit", "all"}), "--fault-unit \"all\": not one of master, slave, both");
  EXPECT_EQ(UsageErrorOf({"--noise", "\\q"}), "--noise \"\\q\": unknown escape (use \\r, \\n, \\t, \\\\ or \\xHH)");
  EXPECT_EQ(UsageErrorOf({"--noise", "\\x4"}), "--noise \"\\x4\": unknown escape (use \\r, \\n, \\t, \\\\ or \\xHH)");
  EXPECT_EQ(UsageErrorOf({"--noise", "\\xG1"}), "--noise \"\\xG1\": \\x needs two hexadecimal digits");
  EXPECT_EQ(UsageErrorOf({"--no-ack=yes"}), "--no-ack takes no value");
  EXPECT_EQ(UsageErrorOf({"--flashed", "a.txt", "--flashed=b.txt"}), "--flashed given twice");
  EXPECT_EQ(UsageErrorOf({"--delay", "5", "--", "--delay"}), "unexpected argument \"--delay\"");
  EXPECT_EQ(UsageErrorOf({"--listen", "127.0.0.2", "--listen", "127.0.0.3", "--flashed", "one.txt"}),
            "--flashed \"one.txt\": several devices need {addr} in the file name");
  EXPECT_EQ(UsageErrorOf({"--listen", "127.0.0.2", "--listen", "127.0.0.3", "--received", "in.bin"}),
            "--received \"in.bin\": several devices need {addr} in the file name");
}

TEST(SimOptionsTest, HelpNamesEveryOptionAndExitStatus) {
  const std::string help = SimHelpText();
  for (const char* option : {"--listen", "--flashed", "--in-bootloader", "--help", "--fault-unit", "--no-ack",
                             "--no-echo", "--refuse-record", "--silent-after", "--close-after", "--no-restart-ack",
                             "--master-version", "--slave-version", "--delay", "--dribble", "--noise",
                             "--refuse-connections", "--received", "Exit status: 0", "1 the --flashed", "2 a bad option"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
}
}  // namespace
