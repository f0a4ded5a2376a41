#pragma once

// The texts a Zelmirt's firmware and bootloaders understand and answer, as the device knows
// them. The simulator keeps its own copy rather than the utility's, so that a wrong text on
// either side shows up as a failed dialogue instead of being shared by both.
namespace BootloaderTexts {
constexpr const char* CmdEnableMasterBL = "ENB MASTER BL";
constexpr const char* AckMasterBL = "ACK MASTER BL";
constexpr const char* CmdEnableSlaveBL = "ENB SLAVE BL";
constexpr const char* CmdSyncSlaveBL = "SYNC SLAVE BL";
constexpr const char* AckSlaveBL = "ACK SLAVE BL";
constexpr const char* SyncByte = "U";
constexpr const char* RecVersion = ":020000050F00EA";
constexpr const char* RecErase = ":0100000307F5";
constexpr const char* RecRestart = ":020000030300F8";
constexpr char Acknowledged = '.';
constexpr char LineTerminator = '\n';
constexpr char ReplyTerminator = '\r';
}  // namespace BootloaderTexts
